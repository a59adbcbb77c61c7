// Answers off a noisy line, for every kind of request outstanding: never a crash, and never a value
// box written from an answer whose CRC does not hold.
#include "app/frmMain.h"
#include "modbus/codec.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdlib>

namespace {
frmMain *window = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    static QTemporaryDir dir;
    window = new frmMain(dir.path(), [](const MessageBoxRequest &) { return int(QMessageBox::Ok); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    static const qint16 kinds[] = {0, 1, 15, 16, -1};
    window->requestKind = kinds[data[0] % 5];
    window->expectedLength = qint16(int8_t(data[1])) * 2 + 1; // odd lengths and negatives too
    window->txtStartID->setText(QString::number(int(int8_t(data[2])) / 4));
    for (QLineEdit *box : window->txtValue) {
        box->setText(QStringLiteral("stale"));
        setTextColor(box, Qt::red);
    }
    const QByteArray answer(reinterpret_cast<const char *>(data + 3), int(size - 3));
    window->ShowAnswer(answer);
    const bool valid = window->requestKind == 1 && answerCrcMatches(answer, window->expectedLength);
    for (QLineEdit *box : window->txtValue)
        if (box->text() != QLatin1String("stale") && !valid)
            abort();
    return 0;
}
