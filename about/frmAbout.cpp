#include "frmAbout.h"

#include "AppInfo.h"
#include "PictureBox.h"
#include "errors.h"
#include "icon.h"
#include "registry.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <array>

namespace {

const QString gREGKEYSYSINFOLOC = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString gREGVALSYSINFOLOC = QStringLiteral("MSINFO");
const QString gREGKEYSYSINFO = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString gREGVALSYSINFO = QStringLiteral("PATH");

const QString Description = QStringLiteral(
    "Ptr a muta piese se foloseste mausul iar dupa ce au fost asezate se pot roti cu click stanga sau "
    "click dreapta. Poza poate fi revazuta cu F4 si apoi Esc ptr a continua. Distractie placuta!");
const QString Disclaimer = QStringLiteral("Autor: echipa Tilora");

QRect Twips(double left, double top, double width, double height)
{
    const int x = TwipsToPixelsX(left), y = TwipsToPixelsY(top);
    return QRect(x, y, TwipsToPixelsX(left + width) - x, TwipsToPixelsY(top + height) - y);
}

// The two lines of the separator. They cross the foot of the description label, so they are drawn
// on a see-through layer above the labels rather than on the window beneath them, where the label
// would hide them.
class EtchedLine : public QWidget {
public:
    explicit EtchedLine(QWidget* parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        // A line ends just before its last point, as the system draws lines.
        const auto line = [&](double x1, double y, double x2, int width, QColor colour) {
            const int left = TwipsToPixelsX(x1), right = TwipsToPixelsX(x2), top = TwipsToPixelsY(y);
            p.fillRect(QRect(left, top, right - left, width), colour);
        };
        line(90, 3645, 5654, 1, QColor(128, 128, 128));
        line(105, 3660, 5654, 2, QColor(255, 255, 255));
    }
};

QLabel* MakeLabel(QWidget* parent, const QRect& where, double points)
{
    auto* label = new QLabel(parent);
    label->setGeometry(where);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    label->setFont(font);
    // Labels keep the system's own opaque background, the button face; only the text is black.
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    palette.setColor(QPalette::WindowText, QColor(0, 0, 0));
    label->setPalette(palette);
    label->setAutoFillBackground(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

} // namespace

frmAbout::frmAbout(Platform& platform)
    : QDialog(nullptr)
    , platform(platform)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // A tool window without an owner: modeless, no taskbar button, no minimise or maximise, and the
    // main window stays usable beside it.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
        | Qt::MSWindowsFixedSizeDialogHint);
    setModal(false);
    setSizeGripEnabled(false);
    setFixedSize(TwipsToPixelsX(7620), TwipsToPixelsY(5295));

    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(255, 192, 128));
    setPalette(palette);
    setAutoFillBackground(true);

    // Made in their tab order: OK, the icon, System Info.
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setGeometry(Twips(4245, 3825, 1260, 345));
    cmdOK->setDefault(true);

    picIcon = new PictureBox(this);
    picIcon->setLeft(240);
    picIcon->setTop(240);
    picIcon->setWidth(540);
    picIcon->setHeight(540);
    picIcon->setFocusPolicy(Qt::StrongFocus);
    {
        // The icon's clear corners show the box's own background.
        QImage icon(32, 32, QImage::Format_RGB32);
        icon.fill(picIcon->BackColor());
        QPainter p(&icon);
        p.drawImage(0, 0, DrawTiloraIcon(32));
        p.end();
        picIcon->setPicture(icon);
    }

    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setGeometry(Twips(4260, 4275, 1245, 345));

    lblDescription = MakeLabel(this, Twips(0, 1320, 6525, 2370), 13.5);
    lblDescription->setText(Description);
    lblDisclaimer = MakeLabel(this, Twips(255, 3825, 3870, 825), 13.5);
    lblDisclaimer->setText(Disclaimer);
    lblTitle = MakeLabel(this, Twips(1050, 240, 3885, 480), 18);
    lblVersion = MakeLabel(this, Twips(1050, 780, 3885, 345), 13.5);

    Line1 = new EtchedLine(this);
    Line1->setGeometry(rect());
    Line1->raise();
    // On the screen the icon is drawn at the screen's pixel density, crisp at every scale factor. It
    // lies over the box rather than in it, so that the box alone stands in the tab order.
    NewIconView(this, picIcon->contentsRect().translated(picIcon->pos()), QColor(picIcon->BackColor()));

    setTabOrder(cmdOK, picIcon);
    setTabOrder(picIcon, cmdSysInfo);
    cmdOK->setFocus();

    connect(
        cmdOK, &QPushButton::clicked, this, [this] { Guarded(this->platform, [this] { cmdOK_Click(); }); });
    connect(cmdSysInfo, &QPushButton::clicked, this,
        [this] { Guarded(this->platform, [this] { cmdSysInfo_Click(); }); });

    Guarded(platform, [this] { Form_Load(); });
}

frmAbout::~frmAbout() = default;

void frmAbout::reject()
{
    Guarded(platform, [this] { cmdOK_Click(); });
}

void frmAbout::closeEvent(QCloseEvent* event)
{
    // Closing is unloading: the window goes and the next "About" builds it afresh. The dialog's own
    // handling would turn the close into a cancel, which here closes again.
    event->accept();
}

void frmAbout::StartSysInfo()
{
    QString path;
    bool started = false;
    // Whatever goes wrong on the way, the player hears one thing: the tool is not there.
    try {
        bool found = GetKeyValue(HKEY_LOCAL_MACHINE, gREGKEYSYSINFO, gREGVALSYSINFO, path);
        if (!found && GetKeyValue(HKEY_LOCAL_MACHINE, gREGKEYSYSINFOLOC, gREGVALSYSINFOLOC, path)) {
            const QString program = path + QStringLiteral("\\MSINFO32.EXE");
            if (platform.IsOrdinaryFile(program)) {
                path = program;
                found = true;
            }
        }
        if (found)
            started = platform.StartProgram(path);
    } catch (...) {
        started = false;
    }
    if (!started)
        platform.ShowMessage(QStringLiteral("System Information Is Unavailable At This Time"), AppTitle);
}

bool frmAbout::GetKeyValue(
    const Int32& KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal)
{
    Int32 hKey = 0;
    // Opened for reading only: asking for more would fail for every player who may not change the
    // machine's keys.
    if (RegOpenKeyExA(platform.Registry(), KeyRoot, KeyName, hKey) != ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }
    struct Closer {
        Int32 key;
        ~Closer() { RegCloseKey(key); }
    } closer { hKey };

    std::array<std::uint8_t, 1024> buffer {};
    Int32 size = static_cast<std::int32_t>(buffer.size());
    Int32 type = 0;
    if (RegQueryValueExA(hKey, SubKeyRef, type, buffer.data(), size) != ERROR_SUCCESS) {
        KeyVal.clear();
        return false;
    }

    QByteArray data(reinterpret_cast<const char*>(buffer.data()), size.v());
    // The terminating zero goes whatever the type, before the type is looked at.
    if (!data.isEmpty() && data.back() == '\0')
        data.chop(1);

    if (type == static_cast<std::int32_t>(REG_SZ)) {
        KeyVal = QString::fromLocal8Bit(data);
    } else if (type == static_cast<std::int32_t>(REG_DWORD)) {
        QString digits;
        for (qsizetype i = data.size() - 1; i >= 0; --i)
            digits += QStringLiteral("%1")
                          .arg(static_cast<std::uint8_t>(data[i]), 2, 16, QLatin1Char('0'))
                          .toUpper();
        KeyVal = QStringLiteral("&h") + digits;
    }
    return true;
}

void frmAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("About ") + AppTitle);
    lblVersion->setText(QStringLiteral("Version %1.%2.%3").arg(AppMajor).arg(AppMinor).arg(AppRevision));
    lblTitle->setText(AppTitle);
}

void frmAbout::cmdOK_Click()
{
    close();
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}
