# Drives the running program as a person with a screen reader would, through the accessibility bus:
# called by AccessibilityTest.sh with belvane-send, the program's port and Orca's debug file.
#   AccessibilityCheck.py <belvane-send> <port> <orca debug file>
import re
import subprocess
import sys
import time

import gi

gi.require_version('Atspi', '2.0')
from gi.repository import Atspi, GLib  # noqa: E402

send, port, orca_log = sys.argv[1], sys.argv[2], sys.argv[3]
failures = []
SPEECH = re.compile(r"SPEECH OUTPUT: '(.*?)'(?:\{.*\}| .*)?$")
events = []


def fail(text):
    failures.append(text)
    print('FAIL: ' + text, file=sys.stderr)


def label_or_name(obj):
    """What a screen reader calls a control: its label (the labelled-by relation), else its name."""
    for relation in obj.get_relation_set():
        if relation.get_relation_type() == Atspi.RelationType.LABELLED_BY and relation.get_n_targets():
            return relation.get_target(0).get_name()
    return obj.get_name()


def on_event(event):
    try:
        source = event.source
        events.append((event.type, event.detail1, source.get_role(), source.get_name(),
                       source.get_description(), label_or_name(source)))
    except GLib.Error:
        pass


listener = Atspi.EventListener.new(on_event)
listener.register('object:state-changed:showing')
listener.register('object:state-changed:focused')


def pump_until(done, seconds):
    """Runs the main loop until done() holds; false when `seconds` passed first."""
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while not done():
        if time.monotonic() > end:
            return False
        context.iteration(False)
        time.sleep(0.01)
    return True


def children(obj):
    return [obj.get_child_at_index(i) for i in range(obj.get_child_count())]


def walk(obj):
    yield obj
    for child in children(obj):
        if child is not None:
            yield from walk(child)


def has_state(obj, state):
    obj.clear_cache()  # states come from the program, not from what the library kept
    return obj.get_state_set().contains(state)


def program():
    desktop = Atspi.get_desktop(0)
    return next((app for app in children(desktop) if app and app.get_name() == 'belvane'), None)


def find(root, role, name=None):
    root.clear_cache()
    return next((obj for obj in walk(root) if obj.get_role() == role
                 and (name is None or obj.get_name() == name)), None)


def key(*names):
    subprocess.run(['xdotool', 'key', '--clearmodifiers', *names], check=True)


def spoken_since(offset):
    with open(orca_log, encoding='utf-8', errors='replace') as log:
        log.seek(offset)
        return [said.group(1) for said in map(SPEECH.search, log) if said]


def log_end():
    with open(orca_log, 'rb') as log:
        return log.seek(0, 2)


app = None
if not pump_until(lambda: program() is not None, 20):
    sys.exit('FAIL: the program does not appear on the accessibility bus')
app = program()
popup = find(app, Atspi.Role.FILLER, 'Belvane')
confirm = popup and find(popup, Atspi.Role.PUSH_BUTTON, '確認(最小化)')
if not pump_until(lambda: confirm and has_state(confirm, Atspi.StateType.FOCUSED), 10):
    sys.exit('FAIL: the popup with its focused confirm button does not appear')
names = sorted(obj.get_name() for obj in walk(popup) if obj.get_role() == Atspi.Role.TEXT)
if names != sorted(['送信者', 'メッセージ']):
    fail('the popup\'s boxes are named %s' % names)
if not pump_until(lambda: '確認(最小化) push button.' in spoken_since(0), 10):
    fail('Orca did not read the new window')

# Each alarm is spoken, sender and message, within 2 s of its sending: with the popup hidden (confirmed
# by the keyboard) and with it already shown and active; the focus stays on the confirm button.
alarms = [('hidden', '経理部 PC-07', '13:30 来客 受付までお願いします'),
          ('shown', 'PC2', 'サーバ室 温度上昇'),
          ('shown', 'PC3', 'third alarm'),
          ('hidden', 'PC4', 'after a confirmation')]
for state, sender, message in alarms:
    if state == 'hidden':
        key('Return')
        if not pump_until(lambda: not has_state(confirm, Atspi.StateType.SHOWING), 5):
            fail('Return on the confirm button does not hide the popup')
    time.sleep(3)  # alarms at least 3 s apart
    events.clear()
    offset = log_end()
    sent = time.monotonic()
    subprocess.run([send, '--port', port, '--sender', sender, '--message', message, '--level', '99'],
                   check=True)
    told = pump_until(lambda: any(e[0] == 'object:state-changed:showing' and e[1] == 1
                                  and e[2] == Atspi.Role.NOTIFICATION and e[3:5] == (sender, message)
                                  for e in events), 2)
    spoken = []
    heard = told and pump_until(lambda: (spoken.__setitem__(slice(None), spoken_since(offset)) or True)
                                and any(sender in s for s in spoken) and any(message in s for s in spoken),
                                2 - (time.monotonic() - sent))
    print('%s popup, alarm from %s: notification %s, Orca said %s after %.2f s'
          % (state, sender, 'shown' if told else 'NOT shown', spoken, time.monotonic() - sent))
    if not told:
        fail('no notification carries the alarm from %s: %s' % (sender, events))
    elif not heard:
        fail('Orca did not speak the alarm from %s within 2 s' % sender)
    if not has_state(confirm, Atspi.StateType.FOCUSED):
        fail('the confirm button lost the focus with the alarm from %s' % sender)


def open_menu_item(keys, downs):
    """Opens the command menu with `keys` and chooses the item `downs` steps down; the dialog it opens."""
    events.clear()
    key(*keys)
    key('Down')  # Qt does not list popup menus among the program's windows: its first item takes the focus
    if not pump_until(lambda: ('object:state-changed:focused', 1, Atspi.Role.MENU_ITEM, '表示') in
                      (e[:4] for e in events), 5):
        fail('%s does not open the command menu: %s' % ('+'.join(keys), events))
        return None
    key(*(['Down'] * (downs - 1)), 'Return')
    dialog = []
    pump_until(lambda: dialog.append(find(app, Atspi.Role.DIALOG)) or dialog[-1] is not None, 5)
    return dialog[-1]


named_roles = {Atspi.Role.TEXT, Atspi.Role.PUSH_BUTTON, Atspi.Role.COMBO_BOX, Atspi.Role.LIST,
               Atspi.Role.TABLE, Atspi.Role.TREE, Atspi.Role.TREE_TABLE, Atspi.Role.CHECK_BOX,
               Atspi.Role.SPIN_BUTTON, Atspi.Role.IMAGE, Atspi.Role.ENTRY}


def check_names(dialog, title):
    unnamed = [obj.get_role_name() for obj in walk(dialog)
               if obj.get_role() in named_roles and has_state(obj, Atspi.StateType.SHOWING)
               and not label_or_name(obj)]
    if unnamed:
        fail('%s: unnamed controls %s' % (title, unnamed))
    print('%s: %d named controls' % (title, sum(1 for obj in walk(dialog) if obj.get_role() in named_roles
                                                and has_state(obj, Atspi.StateType.SHOWING))))


def close(dialog):
    key('Escape')
    if not pump_until(lambda: not has_state(dialog, Atspi.StateType.SHOWING)
                      or has_state(dialog, Atspi.StateType.DEFUNCT), 5):
        fail('Escape does not close %s' % dialog.get_name())


def tab_order(count):
    """The names of the controls that Tab gives the focus to, `count` times."""
    names = []
    for _ in range(count):
        events.clear()
        key('Tab')
        focused = []
        pump_until(lambda: focused.extend(e[5] for e in events if e[0] == 'object:state-changed:focused'
                                          and e[1] == 1) or focused, 2)
        names.append(focused[-1] if focused else None)
    return names


# Every dialog reached by the keyboard alone: the menu by the Menu key and by Shift+F10, the items by the
# arrow keys, the edit dialog from the settings' list by Tab and Space; every control in them named, and
# Tab going through them as they are laid out, OK and Cancel first.
settings_tabs = ['ｷｬﾝｾﾙ', 'ポート番号', 'アクションファイル(動作ファイル) リスト', '動作テスト', '停止(wav/mid)', '編集',
                 'OK']
edit_tabs = ['ｷｬﾝｾﾙ', '設定の有効(●)/無効(…)', '登録名', '画面サイズ', '動作ファイルパス名', 'ファイル参照', 'パラメータ',
             'ファイル参照', '動作テスト', '停止(wav/mid)', 'OK']
for keys, downs, title in [(['Menu'], 2, '受信履歴'), (['shift+F10'], 9, 'Belvaneのﾊﾞｰｼﾞｮﾝ情報'),
                           (['Menu'], 3, '環境設定')]:
    dialog = open_menu_item(keys, downs)
    if dialog is None or dialog.get_name() != title:
        fail('the menu did not open %s' % title)
        continue
    check_names(dialog, title)
    if title == '環境設定':
        order = tab_order(len(settings_tabs))
        if order != settings_tabs:
            fail('Tab in the settings goes %s' % order)
        key('Tab', 'Tab', 'Tab', 'Down', 'Tab', 'Tab', 'Tab', 'space')  # port, list, its first row, ..., 編集
        edit = []
        if pump_until(lambda: edit.append(find(app, Atspi.Role.DIALOG, '動作ファイル登録編集'))
                      or edit[-1] is not None, 5):
            check_names(edit[-1], '動作ファイル登録編集')
            order = tab_order(len(edit_tabs))
            if order != edit_tabs:
                fail('Tab in the edit dialog goes %s' % order)
            close(edit[-1])
        else:
            fail('Tab and Space do not reach the edit dialog from the settings')
    close(dialog)

sys.exit(1 if failures else 0)
