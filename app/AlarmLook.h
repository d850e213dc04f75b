#pragma once

#include <QColor>
#include <QPalette>
#include <QRegion>
#include <QString>

#include <string>

class QWidget;

namespace belvane {

// How the alarm window looks: its size and rounded shape, its own light colours, and how much of a
// long message it shows.
constexpr int windowWidth = 500;
constexpr int windowHeight = 155;
inline const QColor frameFillColour(240, 240, 255);
inline const QColor frameOutlineColour(130, 130, 155);
inline const QColor senderColour(255, 255, 200);

// A 500 x 155 rectangle with corners rounded by a 20 x 20 ellipse, in device pixels of `ratio` to the
// window's pixel.
QRegion windowRegion(qreal ratio = 1);
// Gives `window` its rounded shape, and on X11 again in device pixels each time it is shown, so that the
// curve of its corners is as fine at 125 %, 150 % or 200 % as at 100 %.
void shapeWindow(QWidget *window);
// The window's own light colours, whatever the desktop's theme: every role is set, text and highlight
// included, for the active, inactive and disabled window (a dialog disables it), so a dark theme cannot
// put light text on the white boxes.
QPalette lightPalette();
// Whether any part of `area` lies on a screen; a position saved on a monitor since removed does not.
bool onSomeScreen(const QRect &area);
// The message as a box shows it: at most 2,000 lines or 65,536 characters, then "…". A box lays out
// every line and character it holds, and a message may fill all the megabyte the receiver keeps.
QString shownMessage(QString text);
// The sender as the window, the history and the log show it: at most `shownSenderCharacters`, then
// "…". A sender, like a message, may fill the megabyte the receiver keeps.
constexpr qsizetype shownSenderCharacters = 256;
QString shownSender(const std::string &cp932Sender);

} // namespace belvane
