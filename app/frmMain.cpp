#include "app/frmMain.h"

#include "app/icon.h"
#include "app/twips.h"
#include "app/widgets.h"
#include "polling/Timer.h"
#include "response/valuerows.h"
#include "serial/MSComm.h"
#include "serial/logging.h"
#include "serial/portname.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

const QString kAppTitle = QStringLiteral("Morvane");

namespace {

const QString kLampTip = QStringLiteral("数据采集通讯状态指示");

QString indexed(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

} // namespace

int selectedEntry(const QComboBox *combo)
{
    const int index = combo->currentIndex();
    if (index < 0 || combo->currentText() != combo->itemText(index))
        return -1;
    return index;
}

QColor textColor(const QLineEdit *box)
{
    return box->palette().color(QPalette::Text);
}

void setTextColor(QLineEdit *box, const QColor &color)
{
    // Polling turns every box red and black again each time: a palette that would not change is left alone.
    if (textColor(box) == color)
        return;
    QPalette palette = box->palette();
    palette.setColor(QPalette::Text, color);
    box->setPalette(palette);
}

frmMain::frmMain(const QString &programDir, MessageSink sink, QWidget *parent)
    : QWidget(parent), m_programDir(programDir), m_sink(std::move(sink))
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        m_dpi = screen->logicalDotsPerInch();
    MSComm1 = new MSComm(m_programDir, this);
    Timer2 = new Timer(this);
    buildControls();
    new CaretBlinkTimeout(10000, this);
    connectHandlers();
    Form_Load();
}

frmMain::~frmMain() = default;

QString frmMain::defaultProgramDir()
{
    return QCoreApplication::applicationDirPath();
}

QRect frmMain::twips(int left, int top, int width, int height) const
{
    return twipsRect(left, top, width, height, m_dpi);
}

void frmMain::buildControls()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("KV4820-7 MODBUS温湿度采集模块工具软件V17.6"));
    setWindowIcon(applicationIcon());
    setFixedSize(twips(0, 0, 10710, 9075).size());

    auto group = [this](const char *name, const QString &caption, QRect rect) {
        auto *box = new QGroupBox(caption, this);
        box->setObjectName(QLatin1String(name));
        box->setGeometry(rect);
        return box;
    };
    auto label = [this](QWidget *parent, const QString &name, const QString &caption, QRect rect) {
        auto *l = new QLabel(caption, parent);
        l->setObjectName(name);
        l->setGeometry(rect);
        return l;
    };
    auto textBox = [](QWidget *parent, const QString &name, const QString &text, QRect rect) {
        auto *box = new QLineEdit(text, parent);
        box->setObjectName(name);
        box->setGeometry(rect);
        return box;
    };
    auto button = [](QWidget *parent, const char *name, const QString &caption, QRect rect) {
        auto *b = new QPushButton(caption, parent);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(true); // Enter presses the focused button, as Space does
        b->setGeometry(rect);
        return b;
    };
    auto combo = [](QWidget *parent, const char *name, const QStringList &items, const QString &text, QRect rect) {
        auto *c = new ChoiceList(parent);
        c->setObjectName(QLatin1String(name));
        c->setEditable(true);
        c->setLineEdit(new ListField(c));
        c->setCompleter(nullptr); // it would complete the typed text to an entry
        c->setInsertPolicy(QComboBox::NoInsert);
        c->addItems(items);
        c->setCurrentIndex(-1);
        c->setEditText(text);
        c->setGeometry(rect);
        return c;
    };

    Frame5 = group("Frame5", QStringLiteral("串口设置"), twips(0, 0, 6552, 660));
    Label3 = label(Frame5, QStringLiteral("Label3"), QStringLiteral("串口号"), twips(120, 240, 615, 255));
    QStringList ports;
    for (int n = 1; n <= kPortCount; ++n)
        ports << QStringLiteral("COM%1").arg(n);
    Combo1 = combo(Frame5, "Combo1", ports, QStringLiteral("COM4"), twips(720, 240, 1095, 300));
    Label5[2] = label(Frame5, indexed("Label5", 2), QStringLiteral("波特率"), twips(2040, 240, 615, 255));
    Combo2 = combo(Frame5, "Combo2", {QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400")},
                   QStringLiteral("19200"), twips(2640, 240, 1095, 300));
    cmdCom = button(Frame5, "cmdCom", QStringLiteral("保存设置"), twips(4560, 220, 1095, 375));
    MSComm1->setObjectName(QStringLiteral("MSComm1"));

    Frame6 = group("Frame6", QStringLiteral("运行状态指示"), twips(6720, 0, 3855, 615));
    Picture2 = new QWidget(Frame6);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setGeometry(twips(120, 240, 900, 255));
    auto lamp = [this](const char *name, const QColor &color) {
        auto *img = new QLabel(Picture2);
        img->setObjectName(QLatin1String(name));
        img->setPixmap(lampPixmap(color));
        img->setGeometry(QRect(twips(360, 0, 0, 0).topLeft(), QSize(16, 16)));
        img->setToolTip(kLampTip);
        return img;
    };
    imgNotConnected = lamp("imgNotConnected", QColor(255, 0, 0));
    ImgYellow = lamp("ImgYellow", QColor(255, 220, 0));
    imgConnected = lamp("imgConnected", QColor(0, 200, 0));
    // Before any port choice or request the red lamp is the honest one.
    ShowLamp(imgNotConnected);
    lblErrCounter = label(Frame6, QStringLiteral("lblErrCounter"), QStringLiteral("0"), twips(1200, 240, 855, 255));
    lblErrCounter->setToolTip(QStringLiteral("误码率"));
    lblErrCounter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Line1 = new LineWidget(twips(2160, 240, 0, 0).topLeft(), twips(2040, 480, 0, 0).topLeft(), Frame6);
    Line1->setObjectName(QStringLiteral("Line1"));
    lblCounter = label(Frame6, QStringLiteral("lblCounter"), QStringLiteral("0"), twips(2280, 240, 735, 255));
    lblCounter->setToolTip(QStringLiteral("测试统计"));

    Frame10 = group("Frame10", QStringLiteral("MODBUS设置"), twips(0, 720, 6612, 735));
    Label8[0] = label(Frame10, indexed("Label8", 0), QStringLiteral("设备地址"), twips(120, 360, 855, 255));
    txtStationID = textBox(Frame10, QStringLiteral("txtStationID"), QStringLiteral("2"), twips(840, 360, 495, 270));
    Label8[3] = label(Frame10, indexed("Label8", 3), QStringLiteral("功 能 码"), twips(1560, 360, 855, 255));
    txtFunID = textBox(Frame10, QStringLiteral("txtFunID"), QStringLiteral("3"), twips(2280, 360, 495, 270));
    Label8[1] = label(Frame10, indexed("Label8", 1), QStringLiteral("超始地址"), twips(2880, 360, 855, 255));
    txtStartID = textBox(Frame10, QStringLiteral("txtStartID"), QStringLiteral("0"), twips(3600, 360, 495, 270));
    Label8[2] = label(Frame10, indexed("Label8", 2), QStringLiteral("数据长度"), twips(4920, 360, 732, 252));
    txtDataLength = textBox(Frame10, QStringLiteral("txtDataLength"), QStringLiteral("10"), twips(5640, 360, 495, 270));

    Frame12 = group("Frame12", QStringLiteral("设备ID修改操作(子功能号0x0B )"), twips(6720, 720, 3855, 2175));
    // Left of the drawn 240 twips, so that "将地址" ends before its box in the fonts at hand.
    Label2[0] = label(Frame12, indexed("Label2", 0), QStringLiteral("将地址      改为"), twips(150, 840, 1815, 255));
    txtSetID[0] = textBox(Frame12, indexed("txtSetID", 0), QStringLiteral("1"), twips(720, 840, 435, 270));
    txtSetID[1] = textBox(Frame12, indexed("txtSetID", 1), QStringLiteral("1"), twips(1800, 840, 315, 270));
    cmdReadAdd = button(Frame12, "cmdReadAdd", QStringLiteral("读地址"), twips(2400, 840, 1095, 375));
    cmdChangeID = button(Frame12, "cmdChangeID", QStringLiteral("修改"), twips(2280, 1440, 1335, 495));

    Frame2 = group("Frame2", QStringLiteral("观察窗"), twips(0, 1560, 6612, 5895));
    PictureShow = new QWidget(Frame2);
    PictureShow->setObjectName(QStringLiteral("PictureShow"));
    PictureShow->setGeometry(twips(120, 240, 6375, 5535));
    PictureShow->setAutoFillBackground(true);
    QPalette panel = PictureShow->palette();
    panel.setColor(QPalette::Window, QColor(0xE0, 0xE0, 0xE0));
    PictureShow->setPalette(panel);
    for (int i = 0; i < 10; ++i) {
        const int top = 360 + 435 * i;
        const int nameWidth = (i == 6 || i == 7) ? 735 : 855;
        const ValueRow &row = kValueRows[i];
        lblValue[i] = label(PictureShow, indexed("lblValue", i), QString::fromUtf8(row.name), twips(1920, top, nameWidth, 270));
        txtValue[i] = textBox(PictureShow, indexed("txtValue", i), QStringLiteral("0"), twips(2880, top, 735, 270));
        txtValue[i]->setReadOnly(true); // a typed text would pass for a measurement
        lblDanWei[row.unitIndex] = label(PictureShow, indexed("lblDanWei", row.unitIndex), QString::fromUtf8(row.unit),
                                         twips(3720, top, 735, 270));
    }

    Frame11 = group("Frame11", QStringLiteral("数据查询操作"), twips(6720, 3000, 3855, 4455));
    Label8[4] = label(Frame11, indexed("Label8", 4), QStringLiteral("定时时长(ms)"), twips(120, 480, 1215, 255));
    txtTimerSet = textBox(Frame11, QStringLiteral("txtTimerSet"), QStringLiteral("1000"), twips(1380, 480, 615, 270));
    comDoOnce = button(Frame11, "comDoOnce", QStringLiteral("单次"), twips(1080, 1560, 1515, 615));
    cmdOneM = button(Frame11, "cmdOneM", QStringLiteral("循环"), twips(1080, 2520, 1515, 615));
    cmdStopOnce = button(Frame11, "cmdStopOnce", QStringLiteral("停止"), twips(1080, 3480, 1515, 615));
    Timer2->setObjectName(QStringLiteral("Timer2"));

    Frame1 = group("Frame1", QStringLiteral("二次开发命令观察窗口"), twips(0, 7560, 10575, 1215));
    Label7 = label(Frame1, QStringLiteral("Label7"), QStringLiteral("发送命令:"), twips(120, 240, 855, 255));
    txtCommand = textBox(Frame1, QStringLiteral("txtCommand"), QString(), twips(960, 240, 9495, 315));
    txtState = textBox(Frame1, QStringLiteral("txtState"), QString(), twips(120, 600, 10335, 495));
    // They show what went over the line; selecting and copying is all they are for.
    txtCommand->setReadOnly(true);
    txtState->setReadOnly(true);
}

void frmMain::connectHandlers()
{
    connect(Combo1, qOverload<int>(&QComboBox::activated), this, [this] { Combo1_Click(); });
    connect(cmdCom, &QPushButton::clicked, this, &frmMain::cmdCom_Click);
    connect(comDoOnce, &QPushButton::clicked, this, &frmMain::comDoOnce_Click);
    connect(cmdReadAdd, &QPushButton::clicked, this, &frmMain::cmdReadAdd_Click);
    connect(cmdChangeID, &QPushButton::clicked, this, &frmMain::cmdChangeID_Click);
    connect(cmdOneM, &QPushButton::clicked, this, &frmMain::cmdOneM_Click);
    connect(cmdStopOnce, &QPushButton::clicked, this, &frmMain::cmdStopOnce_Click);
    connect(Timer2, &Timer::Tick, this, &frmMain::Timer2_Timer);
    connect(MSComm1, &MSComm::OnComm, this, &frmMain::MSComm1_OnComm);
    connect(MSComm1, &MSComm::sent, this, [](const QByteArray &bytes) { qCDebug(lcFrames) << "sent" << bytes.toHex(' '); });
    connect(MSComm1, &MSComm::received, this, [](const QByteArray &bytes) { qCDebug(lcFrames) << "received" << bytes.toHex(' '); });
}

int frmMain::MsgBox(const QString &text, const QString &title, QMessageBox::Icon icon,
                    QMessageBox::StandardButtons buttons)
{
    if (m_inTick) {
        // A polling tick repeats its request many times a second: the same message is not shown twice running.
        m_tickMessage = text;
        if (text == m_lastTickMessage)
            return QMessageBox::Ok;
    }
    const MessageBoxRequest request{text, title, icon, buttons};
    m_messageBoxOpen = true;
    int result;
    if (m_sink) {
        result = m_sink(request);
    } else {
        QMessageBox box(icon, title, text, buttons, this);
        result = box.exec();
    }
    m_messageBoxOpen = false;
    return result;
}

void frmMain::ShowLamp(QLabel *lamp)
{
    // Exactly one lamp shows: the one in front. The others are hidden beneath it.
    lamp->show();
    lamp->raise();
    for (QLabel *other : {imgNotConnected, ImgYellow, imgConnected})
        if (other != lamp)
            other->hide();
}

QLabel *frmMain::FrontLamp() const
{
    // raise() moves a widget to the end of its parent's children: the last lamp there is on top.
    const QObjectList &lamps = Picture2->children();
    for (auto it = lamps.crbegin(); it != lamps.crend(); ++it)
        if (auto *lamp = qobject_cast<QLabel *>(*it))
            return lamp;
    return nullptr;
}
