#pragma once
// The tool's one window. Its handlers are named after the control and the event and share state
// through the fields below; their bodies live in the subsystem folder each belongs to.
#include "serial/settingsfile.h"

#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class MSComm;
class Timer;
class LineWidget;

extern const QString kAppTitle; // title of every message box without one of its own

struct MessageBoxRequest
{
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

// Shows (or, in tests, records) one message box and returns the button pressed.
using MessageSink = std::function<int(const MessageBoxRequest &)>;

class frmMain : public QWidget
{
    Q_OBJECT
public:
    // programDir holds comm.set and the COMn links; the window loads from it at once.
    explicit frmMain(const QString &programDir = defaultProgramDir(), MessageSink sink = {},
                     QWidget *parent = nullptr);
    ~frmMain() override;

    static QString defaultProgramDir();

    // --- start-up (app/)
    void Form_Load();

    // --- serial link and settings (serial/)
    void Combo1_Click();
    void cmdCom_Click();
    void OpenOnComm();
    void StoreSettings();
    LoadResult LoadSettings();

    // --- requests (modbus/)
    void Crc16(const QByteArray &cmdstring, qint16 j);
    QString FormatHex(quint8 bb) const;
    void comDoOnce_Click();
    void cmdReadAdd_Click();
    void cmdChangeID_Click();
    void markValuesStale(); // txtState cleared, the value boxes red until an answer is decoded
    // The one send path: the adapter prepared for an answer of kind and threshold, the frame shown in
    // txtCommand and written when the port is open. False when it was not written.
    bool SendRequest(qint16 kind, const QByteArray &frame, qint16 threshold);
    void SendAddressCommand(qint16 kind, const QByteArray &frame); // with its lamps and waiting text

    // --- answers (response/)
    void MSComm1_OnComm();
    // True when the waiting bytes cannot be judged yet (a split answer, an echo coming or just
    // learnt): the receive threshold is raised to the count that can tell.
    bool AwaitRest();
    void ShowAnswer(const QByteArray &answer); // an answer read off the line, by requestKind
    void DecodeRegisters(const QByteArray &answer);

    // --- polling (polling/)
    void cmdOneM_Click();
    void cmdStopOnce_Click();
    void Timer2_Timer();

    // The one seam for message boxes.
    int MsgBox(const QString &text, const QString &title = kAppTitle,
               QMessageBox::Icon icon = QMessageBox::NoIcon,
               QMessageBox::StandardButtons buttons = QMessageBox::Ok);
    void ShowLamp(QLabel *lamp);
    QLabel *FrontLamp() const;
    bool messageBoxOpen() const { return m_messageBoxOpen; }

    // --- form-level state
    qint16 CommNum = 0;
    qint32 CommRate = 0;
    qint32 HiByte = 0;
    quint8 LoByte = 0;
    qint16 commReady = 0; // true = -1, false = 0
    QString commandHex;
    qint16 requestKind = 0;
    qint16 expectedLength = 0;
    qint32 receiveCount = 0;

    // --- controls
    QGroupBox *Frame5 = nullptr;
    QLabel *Label3 = nullptr;
    QComboBox *Combo1 = nullptr;
    QLabel *Label5[3] = {};
    QComboBox *Combo2 = nullptr;
    QPushButton *cmdCom = nullptr;
    MSComm *MSComm1 = nullptr;

    QGroupBox *Frame6 = nullptr;
    QWidget *Picture2 = nullptr;
    QLabel *imgNotConnected = nullptr;
    QLabel *ImgYellow = nullptr;
    QLabel *imgConnected = nullptr;
    QLabel *lblErrCounter = nullptr;
    LineWidget *Line1 = nullptr;
    QLabel *lblCounter = nullptr;

    QGroupBox *Frame10 = nullptr;
    QLabel *Label8[5] = {};
    QLineEdit *txtStationID = nullptr;
    QLineEdit *txtFunID = nullptr;
    QLineEdit *txtStartID = nullptr;
    QLineEdit *txtDataLength = nullptr;

    QGroupBox *Frame12 = nullptr;
    QLabel *Label2[1] = {};
    QLineEdit *txtSetID[2] = {};
    QPushButton *cmdReadAdd = nullptr;
    QPushButton *cmdChangeID = nullptr;

    QGroupBox *Frame2 = nullptr;
    QWidget *PictureShow = nullptr;
    QLabel *lblValue[10] = {};
    QLineEdit *txtValue[10] = {};
    QLabel *lblDanWei[10] = {};

    QGroupBox *Frame11 = nullptr;
    QLineEdit *txtTimerSet = nullptr;
    QPushButton *comDoOnce = nullptr;
    QPushButton *cmdOneM = nullptr;
    QPushButton *cmdStopOnce = nullptr;
    Timer *Timer2 = nullptr;

    QGroupBox *Frame1 = nullptr;
    QLabel *Label7 = nullptr;
    QLineEdit *txtCommand = nullptr;
    QLineEdit *txtState = nullptr;

    QString programDir() const { return m_programDir; }

signals:
    // After each answer decoded into the value boxes, for each of the ten boxes: its text and its
    // number; empty and NaN for a box this answer did not fill or filled with the fault value.
    void valuesDecoded(const QStringList &shown, const QList<double> &values);

private:
    void buildControls();
    void connectHandlers();
    QRect twips(int left, int top, int width, int height) const;
    // Closes the port and takes the chosen Combo1 entry as the port number; false when none is chosen.
    bool TakeChosenPort();
    // Opens it, switches the receive notification on and lets polling send again.
    void OpenChosenPort();

    QString m_programDir;
    MessageSink m_sink;
    qreal m_dpi = 96;
    bool m_messageBoxOpen = false;
    // Polling shows a message once, not again on the next ticks (see Timer2_Timer).
    bool m_inTick = false;
    QString m_tickMessage;
    QString m_lastTickMessage;
    QByteArray m_sentFrame; // the last request, which its answer is checked against
    qint16 m_answerThreshold = 0; // its answer's receive threshold on a line without echo
};

// An entry counts as selected only while the edit text still reads as that entry.
int selectedEntry(const QComboBox *combo);
// A value box's text colour; read it here, not from the palette, which may lag behind.
QColor textColor(const QLineEdit *box);
void setTextColor(QLineEdit *box, const QColor &color);
