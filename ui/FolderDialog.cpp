#include "ui/FolderDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// The program's sheet draws drop-downs light on dark for the player; here they are read
// as every other list of the chooser.
const char *const kSheet =
    "QComboBox{color:#333333;background:#ffffff;border:1px solid #d7d7d7;padding:2px 6px;}"
    "QComboBox QAbstractItemView{color:#333333;background:#ffffff;"
    "selection-background-color:#d4ebf9;selection-color:#333333;}"
    "QMenu::item{width:auto;margin-left:0px;padding:4px 20px;}"
    "QListView,QTreeView{background:#ffffff;color:#333333;}";

} // namespace

QString FolderDialog::chooseFolder(QWidget *parent, const QString &current)
{
    const QString start = QFileInfo(current).isDir() ? current : QDir::homePath();
    QFileDialog dialog(parent ? parent->window() : nullptr, QStringLiteral("请选择目录"), start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("查找范围："));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("文件夹："));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("类型："));
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("选择"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("取消"));
    dialog.setStyleSheet(QString::fromLatin1(kSheet));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

void FolderDialog::installChineseTexts()
{
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_zh_CN"),
                         QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}
