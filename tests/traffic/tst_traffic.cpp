// The verdict on one exchange, from the bytes written and the bytes that came back. Frames and their
// CRCs were made with an independent CRC-16 (the read-address request is the module's documented one).
#include "traffic/judge.h"
#include "traffic/trafficmodel.h"

#include <QTest>

class tst_Traffic : public QObject
{
    Q_OBJECT
private slots:
    void judgement_data()
    {
        const QByteArray read = "020300000002c438", answer = "020304092911d75769";
        const QByteArray readAddress = "fa250200000199fe", write = "07060b0000094b8e";
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("text");
        auto row = [](const char *name, const QByteArray &request, const QByteArray &reply, const char *text) {
            QTest::newRow(name) << QByteArray::fromHex(request) << QByteArray::fromHex(reply) << QString::fromUtf8(text);
        };
        row("good answer", read, answer, "正常");
        row("nothing came back", read, "", "无应答");
        row("exception 02", read, "02830230f1", "异常应答 02 (非法数据地址)");
        row("exception 06", read, "0283063132", "异常应答 06 (从站设备忙)");
        row("exception 07, by number", read, "028307f0f2", "异常应答 07");
        row("cut short", read, answer.left(10), "不完整");
        row("exception cut short", read, "028302", "不完整");
        row("one bit flipped", read, "020304092911d65769", "CRC错误");
        row("CRC byte flipped", read, "020304092911d75768", "CRC错误");
        row("another module", read, "070304092911d70269", "地址不符 07");
        row("wrong byte count", read, "020302092911d7df69", "格式错误");
        row("wrong function", read, "020404092911d756de", "格式错误");
        row("adapter echo, then the answer", read, read + answer, "正常 回显");
        row("adapter echo only", read, read, "无应答 回显");
        row("noise after the answer", read, answer + "a1b2c3", "正常 多余字节 3");
        row("exception, then noise", read, "02830230f1ff", "异常应答 02 (非法数据地址) 多余字节 1");
        row("read address, any module answers", readAddress, "072502075039", "正常");
        row("address change echoed by the module", write, write, "正常");
        row("address change echoed by adapter and module", write, write + write, "正常 回显");
        row("broadcast, unanswered", "00060b0000094a39", "", "正常");
        row("bytes without a request", "", "0102", "无请求");
    }
    void judgement()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        QFETCH(QString, text);
        QCOMPARE(judgementText(judgeExchange(request, reply)), text);
        TrafficModel model; // 只看异常 keeps every row but a plain 正常, notes too
        model.append({{QDateTime::currentDateTime(), request, reply, NAN, NAN, judgeExchange(request, reply)}});
        QCOMPARE(model.data(model.index(0, 0), TrafficModel::AnomalyRole).toBool(), text != QStringLiteral("正常"));
    }

    // A read of ten registers, 8 + 25 bytes. Nothing back: cut when the next write came before both
    // frames and 2 x 3.5 characters of silence could pass, 11 bits a byte. Some back: when it came
    // before the rest could follow the last byte.
    void nextRequestCuts_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("received");
        QTest::addColumn<double>("lastMs");
        QTest::addColumn<double>("boundMs");
        QTest::newRow("9600 nothing") << 9600 << 0 << double(NAN) << 45.83;
        QTest::newRow("19200 nothing") << 19200 << 0 << double(NAN) << 22.92;
        QTest::newRow("9600 20 of 25 at 44 ms") << 9600 << 20 << 44.0 << 49.73;
        QTest::newRow("19200 24 of 25 at 500 ms") << 19200 << 24 << 500.0 << 500.57;
    }
    void nextRequestCuts()
    {
        QFETCH(int, rate);
        QFETCH(int, received);
        QFETCH(double, lastMs);
        QFETCH(double, boundMs);
        QVERIFY(cutByNextRequest(8, 25, received, lastMs, rate, boundMs - 0.01));
        QVERIFY(!cutByNextRequest(8, 25, received, lastMs, rate, boundMs + 0.01));
    }

    void ringKeepsTheNewest_data()
    {
        QTest::addColumn<QList<int>>("batches");
        QTest::newRow("one at a time") << QList<int>{1, 1, 1, 1, 1, 1, 1};
        QTest::newRow("two batches") << QList<int>{2, 5};
        QTest::newRow("more than it holds at once") << QList<int>{7};
        QTest::newRow("full, then one") << QList<int>{3, 4};
    }
    // Seven requests into a ring of three: the last three stay, in order, and the summary counts all.
    void ringKeepsTheNewest()
    {
        QFETCH(QList<int>, batches);
        TrafficModel model(3);
        char next = 0;
        for (int size : batches) {
            QList<TrafficRow> rows;
            for (int i = 0; i < size; ++i, ++next)
                rows.append({QDateTime::currentDateTime(), QByteArray(1, next), {}, NAN, NAN,
                             {Verdict::NoAnswer, 0, false, 0, next % 2 == 1}}); // the odd ones cut
            model.append(rows);
        }
        QCOMPARE(model.rowCount(), 3);
        QByteArray kept;
        for (int i = 0; i < 3; ++i)
            kept += model.row(i).request;
        QCOMPARE(kept, QByteArray("\x04\x05\x06", 3));
        QVERIFY2(model.summary().startsWith(QStringLiteral("请求 7  正常 0  无应答 7")), qPrintable(model.summary()));
        QVERIFY2(model.summary().contains(QStringLiteral("无请求 0  被下一请求打断 3")), qPrintable(model.summary()));
        QCOMPARE(model.csv().count("\r\n"), 4);
    }
};

QTEST_GUILESS_MAIN(tst_Traffic)
#include "tst_traffic.moc"
