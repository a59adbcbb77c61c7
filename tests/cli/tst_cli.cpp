// kv4820 from outside, over real pseudo-terminals: against the virtual module, or a far end the test
// plays itself (an exception, an adapter's copy without the module's answer); and through a pipe to a
// real MQTT broker.
#include "common/crc.h"
#include "common/pty.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kValues = QStringLiteral("2450,4500,65535,65535,0,5,65036,20000,20001,1234");
// kValues as each output shows them; registers 2 and 3 carry the fault value.
const QByteArray kRows = "1#温度值\t24.50\t℃\n1#湿度值\t45.00\t%RH\n2#温度值\t-\t℃\n2#湿度值\t-\t%RH\n3#温度值\t0.00\t℃\n"
                         "3#湿度值\t0.05\t%RH\n4#温度值\t-5.00\t℃\n4#湿度值\t200.00\t%RH\n5#温度值\t-455.35\t℃\n5#湿度值\t12.34\t%RH\n";
const QByteArray kLine = "TIME\t24.50\t45.00\t-\t-\t0.00\t0.05\t-5.00\t200.00\t-455.35\t12.34\n";
const QByteArray kJson = R"({"address":1,"h1":45,"h2":null,"h3":0.05,"h4":200,"h5":12.34,"t1":24.5,"t2":null,"t3":0,"t4":-5,"t5":-455.35,"time":"ISO"})"
                         "\n";
const QByteArray kCsv = "\xEF\xBB\xBF时间,1#温度值(℃),1#湿度值(%RH),2#温度值(℃),2#湿度值(%RH),3#温度值(℃),3#湿度值(%RH),4#温度值(℃),"
                        "4#湿度值(%RH),5#温度值(℃),5#湿度值(%RH)\r\n";
const QByteArray kCsvRow = "TIME,24.50,45.00,,,0.00,0.05,-5.00,200.00,-455.35,12.34\r\n";
const QByteArray kLogRow = "TIME,01 03 00 00 00 0A C5 CD,01 03 14 09 92 11 94 FF FF FF FF 00 00 00 05 FE 0C 4E 20 4E 21 04 D2 B3 70,MS,MS,正常\r\n";

struct Run { int code = -1; QByteArray out, err; };

// What differs from run to run: the times, the traffic log's milliseconds, the pty's name.
QByteArray steady(const QByteArray &text, const QString &pty)
{
    QString s = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom)(text); // the BOM kept
    s.replace(QRegularExpression(QStringLiteral("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d")), QStringLiteral("ISO"));
    s.replace(QRegularExpression(QStringLiteral("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}")), QStringLiteral("TIME"));
    s.replace(QRegularExpression(QStringLiteral(",\\d+\\.\\d,\\d+\\.\\d,")), QStringLiteral(",MS,MS,"));
    return s.replace(pty, QStringLiteral("PTY")).toUtf8();
}

QByteArray hex(const char *digits) { return QByteArray::fromHex(digits); }

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir; // the program's folder, so comm.set and the COMn links are the test's own
    QString m_cli;
    QProcess m_sim;

    QString startSim(const QStringList &options)
    {
        m_sim.start(QStringLiteral(KV_SIM), options + QStringList{"--quiet"});
        while (!m_sim.canReadLine() && m_sim.waitForReadyRead(5000)) {
        }
        return QString::fromLocal8Bit(m_sim.readLine().trimmed());
    }

    // kv4820 with args, "PTY" standing for path; a far end played by the test answers each request with
    // the next of replies.
    Run kv(QStringList args, const QString &path, Pty *far = nullptr, const QList<QByteArray> &replies = {})
    {
        args.replaceInStrings(QRegularExpression(QStringLiteral("^PTY$")), path);
        QProcess p;
        p.start(m_cli, args);
        for (const QByteArray &reply : replies)
            if (far->read(8, 5000).size() == 8)
                far->write(reply);
        p.waitForFinished(30000);
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }

private slots:
    void initTestCase()
    {
        m_cli = m_dir.filePath(QStringLiteral("kv4820"));
        QVERIFY(QFile::copy(QStringLiteral(KV_CLI), m_cli));
    }

    void cleanup()
    {
        m_sim.terminate();
        m_sim.waitForFinished();
        QFile::remove(m_dir.filePath(QStringLiteral("comm.set")));
    }

    void commands_data()
    {
        QTest::addColumn<QStringList>("sim"); // the virtual module's options; none: the test's far end
        QTest::addColumn<QList<QByteArray>>("replies");
        QTest::addColumn<QString>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QString>("err"); // a part of standard error
        const auto row = [](const char *name, const QStringList &sim, const char *args, int code, const QByteArray &out,
                            const char *err = "", const QList<QByteArray> &replies = {}) {
            QTest::newRow(name) << sim << replies << QString::fromUtf8(args) << code << out << QString::fromUtf8(err);
        };
        const QStringList sim{"--values", kValues}, at3{"--address", "3"}, at3echo{"--address", "3", "--echo"};
        const QByteArray log = "\xEF\xBB\xBF时间,请求,应答,首字节(ms),末字节(ms),结论\r\n" + kLogRow + kLogRow;
        row("read", sim, "read", 0, kRows);
        row("read --json", sim, "read --json", 0, kJson);
        row("read --csv", sim, "read --csv", 0, kCsv + kCsvRow);
        row("read, adapter echoes", sim + QStringList{"--echo"}, "read", 0, kRows);
        row("poll", sim, "poll -n 2 -i 50", 0, kLine + kLine);
        row("poll --json", sim, "poll --json -n 2 -i 50", 0, kJson + kJson);
        row("poll --csv", sim, "poll --csv -n 2 -i 50", 0, kCsv + kCsvRow + kCsvRow);
        row("poll through dropped answers", sim + QStringList{"--drop", "0.5"}, "poll -n 3 -i 50", 0, kLine + kLine + kLine, "TIME 无应答");
        row("log", sim, "log -n 2 -i 50", 0, log);
        row("address", at3, "address", 0, "3\n");
        row("find", sim, "find", 0, "PTY\t19200\t1\t2450\n");
        row("silent module", {"--drop", "1"}, "read", 4, "", "kv4820: 无应答\n");
        row("corrupted answer", {"--corrupt", "1"}, "read", 5, "", "kv4820: CRC错误\n");
        row("exception", {}, "read", 6, "", "kv4820: 异常应答 02 (非法数据地址)\n", {hex("018302C0F1")});
        row("port missing", {}, "read -p /nonexistent/tty", 3, "", "设备不存在: /nonexistent/tty");
        row("set-address", at3, "set-address 5 -a 3", 0, "5\n");
        row("set-address, adapter echoes", at3echo, "set-address 5 -a 3", 0, "5\n");
        row("set-address, nobody at 4", at3, "set-address 5 -a 4", 4, "", "无应答");
        row("set-address, nobody at 4, adapter echoes", at3echo, "set-address 5 -a 4", 4, "", "无应答 回显");
        // The module answers the read before the change; then the adapter alone hands the change back.
        row("set-address, only the adapter's copy of the change", {}, "set-address 5 -a 3", 4, "", "无应答 回显",
            {withCrc(hex("030300000001")) + withCrc(hex("0303020064")), withCrc(hex("03060B000005"))});
    }

    void commands()
    {
        QFETCH(QStringList, sim);
        QFETCH(QList<QByteArray>, replies);
        QFETCH(QString, args);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QString, err);
        Pty far;
        const QString path = sim.isEmpty() ? far.slavePath() : startSim(sim);
        const QStringList words = args.split(QLatin1Char(' '));
        const Run run = kv(words.contains(QLatin1String("-p")) ? words : words + QStringList{"-p", "PTY"}, path, &far, replies);
        QCOMPARE(run.code, code);
        QCOMPARE(steady(run.out, path), out);
        if (err.isEmpty())
            QCOMPARE(run.err, QByteArray());
        QVERIFY2(steady(run.err, path).contains(err.toUtf8()), run.err.constData());
        // A change shows at the next read of the address.
        if (code == 0 && words[0] == QLatin1String("set-address"))
            QCOMPARE(kv({"address", "-p", "PTY"}, path).out, QByteArray("5\n"));
    }

    void refusedBeforeAnythingIsSent_data()
    {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QString>("refused");
        for (const auto &[args, refused] : {std::pair{"read -a 0", "address 0"}, {"poll -a 248", "address 248"}, {"read -b 4800", "rate 4800"},
                                            {"poll -n 0", "count 0"}, {"log -i 49", "interval 49"}, {"set-address 248", "new address 248"},
                                            {"read --json --csv", "--json and --csv"}, {"address -a 2", "Unknown option 'a'"},
                                            {"write", "unknown command write"}})
            QTest::newRow(args) << QString::fromUtf8(args) << QString::fromUtf8(refused);
    }

    void refusedBeforeAnythingIsSent()
    {
        QFETCH(QString, args);
        QFETCH(QString, refused);
        Pty far;
        const Run run = kv(args.split(QLatin1Char(' ')) + QStringList{"-p", "PTY"}, far.slavePath());
        QCOMPARE(run.code, 2);
        QVERIFY2(run.err.contains(refused.toUtf8()), run.err.constData());
        QCOMPARE(run.out, QByteArray());
        QCOMPARE(far.read(1, 200), QByteArray());
    }

    void portAndRateFromTheSettingsDirectory()
    {
        QFile set(m_dir.filePath(QStringLiteral("comm.set")));
        QVERIFY(set.open(QIODevice::WriteOnly) && set.write("1,38400\r\n") == 9);
        set.close();
        startSim({"--baud", "38400", "--values", kValues, "--link", m_dir.filePath(QStringLiteral("COM1"))});
        const Run run = kv({"read"}, QString());
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.out, kRows);
    }

    void pollPipedToAnMqttBroker()
    {
        const QString broker = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {"/usr/sbin", "/usr/bin"});
        const QString sub = QStandardPaths::findExecutable(QStringLiteral("mosquitto_sub"));
        if (broker.isEmpty() || sub.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("mosquitto_pub")).isEmpty())
            QSKIP("mosquitto or mosquitto-clients is not installed (apt-get install mosquitto mosquitto-clients): no broker to publish to");
        // A free port on the loopback address, for a broker of the test's own.
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        QVERIFY(bind(fd, reinterpret_cast<sockaddr *>(&address), size) == 0 && getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0);
        ::close(fd);
        const QString port = QString::number(ntohs(address.sin_port));
        QFile config(m_dir.filePath(QStringLiteral("mosquitto.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\nlog_dest stderr\nlog_type all\n").arg(port).toUtf8());
        config.close();

        QProcess mosquitto, subscriber, pipeline;
        mosquitto.setProcessChannelMode(QProcess::MergedChannels);
        mosquitto.start(broker, {"-c", config.fileName()});
        QVERIFY(mosquitto.waitForStarted());
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT((log += mosquitto.readAll()).contains("running") || mosquitto.state() != QProcess::Running, 5000);
        QCOMPARE(mosquitto.state(), QProcess::Running);
        subscriber.start(sub, {"-h", "127.0.0.1", "-p", port, "-t", "kv4820/values", "-C", "3", "-W", "20"});
        // Messages published before the subscription would not reach it.
        QTRY_VERIFY_WITH_TIMEOUT((log += mosquitto.readAll()).contains("Sending SUBACK"), 5000);
        const QString pty = startSim({"--values", kValues});
        pipeline.start(QStringLiteral("/bin/sh"), {"-c", QStringLiteral("'%1' poll --json -n 3 -i 50 -p %2 | mosquitto_pub -l -h 127.0.0.1 -p %3 -t kv4820/values")
                                                             .arg(m_cli, pty, port)});
        QVERIFY(pipeline.waitForFinished(20000) && pipeline.exitCode() == 0);
        QVERIFY(subscriber.waitForFinished(20000));
        const QString out = QString::fromUtf8(subscriber.readAllStandardOutput());
        mosquitto.terminate();
        mosquitto.waitForFinished();
        // Each answer one message, one JSON object with the module's values.
        const QStringList messages = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(messages.size(), 3);
        for (const QString &message : messages) {
            const QJsonObject values = QJsonDocument::fromJson(message.toUtf8()).object();
            QCOMPARE(values.value(QLatin1String("address")).toInt(), 1);
            QCOMPARE(values.value(QLatin1String("t1")).toDouble(), 24.5);
            QVERIFY(values.value(QLatin1String("h2")).isNull());
        }
    }
};

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
