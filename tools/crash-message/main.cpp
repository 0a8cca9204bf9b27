// lumra-crash-message TITLE TEXT: a critical message box with a single OK button.
// LUMRA_CRASH_MESSAGE_TIMEOUT_MS closes it by itself (for tests without a person).
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    QMessageBox box(QMessageBox::Critical, args.value(1), args.value(2), QMessageBox::Ok);
    box.setTextFormat(Qt::RichText);
    const int timeout = qEnvironmentVariableIntValue("LUMRA_CRASH_MESSAGE_TIMEOUT_MS");
    if (timeout > 0)
        QTimer::singleShot(timeout, &box, &QMessageBox::accept);
    box.exec();
    return 0;
}
