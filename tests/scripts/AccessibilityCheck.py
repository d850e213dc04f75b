import sys, time, subprocess
import gi
gi.require_version('Atspi', '2.0')
from gi.repository import Atspi, GLib
send, port, orcalog = sys.argv[1], sys.argv[2], sys.argv[3]
events = []
def on_event(e):
    try:
        events.append((time.monotonic(), e.type, e.source.get_role_name(), e.source.get_name(), e.source.get_description(), e.detail1))
    except Exception as x:
        events.append((time.monotonic(), e.type, 'dead', str(x), '', e.detail1))
listener = Atspi.EventListener.new(on_event)
for t in ['object:state-changed:showing', 'window:activate', 'object:state-changed:focused']:
    listener.register(t)
def pump(sec):
    end = time.monotonic() + sec
    ctx = GLib.MainContext.default()
    while time.monotonic() < end:
        ctx.iteration(False); time.sleep(0.01)
def app():
    d = Atspi.get_desktop(0)
    for i in range(d.get_child_count()):
        a = d.get_child_at_index(i)
        if a and a.get_name() == 'belvane': return a
def dump(o, depth=0):
    print('  '*depth, o.get_role_name(), repr(o.get_name()), repr(o.get_description()), [s.value_nick for s in []])
    for i in range(o.get_child_count()):
        dump(o.get_child_at_index(i), depth+1)
for _ in range(100):
    a = app()
    if a: break
    pump(0.1)
pump(3)
dump(a)
subprocess.run(['xdotool', 'key', 'Return'])
pump(3)
for i, msg in enumerate(['first alarm', 'second alarm', 'third alarm']):
    events.clear()
    t0 = time.monotonic()
    subprocess.run([send, '--port', port, '--sender', 'PC%d' % i, '--message', msg, '--level', '99'], check=True)
    pump(3)
    for e in events: print('%.3f' % (e[0]-t0), e[1:])
pump(6)
print(subprocess.run(["grep", "-E", "SPEECH OUTPUT|showing|DELUGE|FLOOD", orcalog], capture_output=True, text=True).stdout)
