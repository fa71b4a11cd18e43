#pragma once
// The window's skin: a style sheet of our own, carried inside the program.
class QWidget;
class QString;

namespace sucaigang {

QString SkinStyleSheet();
// Skins the window and its controls; controls keep the looks the window gives them itself
// (the log's green on white, the password mask).
void AttachSkinTo(QWidget& window);

}  // namespace sucaigang
