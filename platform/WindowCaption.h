// The caption a desktop shows for a top-level window.
#pragma once

class QWindow;

// Makes the caption the desktop shows exactly the window's title. On X11, Qt
// stands the application's name in for an empty title, and a desktop would
// show a name the language file never gave; elsewhere the title already is
// the caption, and nothing is done.
void showTitleAsCaption(QWindow* window);
