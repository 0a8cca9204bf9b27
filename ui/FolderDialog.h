#pragma once

#include <QString>

class QWidget;

// Asks for a folder: the desktop's own chooser where it has one, else the toolkit's, in
// Chinese and in the light colours of the rest of the program. It opens on the current
// folder, or the home folder when that does not exist. Empty when cancelled.
namespace FolderDialog {

QString chooseFolder(QWidget *parent, const QString &current);

// The toolkit's own texts (the chooser's buttons, columns and menus) in Chinese, when the
// system has them.
void installChineseTexts();

} // namespace FolderDialog
