// The window and its controls as designed, and the layout that follows the level and piece size.
#include "Main.h"
#include "picture_formats.h"
#include "screen_memory.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {
// The window's inner size as designed; the width follows the layout, the height stays.
constexpr double DesignFormWidth = 16155;
constexpr double DesignFormHeight = 10545;

void PlaceTwips(QWidget* w, double left, double top, double width, double height)
{
    w->setGeometry(TwipsToPixelsX(left), TwipsToPixelsY(top), TwipsToPixelsX(width), TwipsToPixelsY(height));
}

void PlacePicture(PictureBox* p, double left, double top, double width, double height)
{
    p->setLeft(left);
    p->setTop(top);
    p->setWidth(width);
    p->setHeight(height);
}

QFont DialogFont(double points)
{
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSizeF(points);
    f.setWeight(QFont::Normal);
    // Said outright, or the controls would take the window's italic.
    f.setItalic(false);
    return f;
}

// The level buttons are narrower than their captions: "Level Down" breaks between its words onto two
// lines and is read whole, rather than losing its ends to the button's edges.
void SetCaption(QPushButton* b, const QString& caption)
{
    QStyleOptionButton option;
    option.initFrom(b);
    option.text = caption;
    const int room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b).width();
    QTextLayout layout(caption, b->font(), b);
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(wrap);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(room);
        lines << caption.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    b->setText(lines.join(QLatin1Char('\n')));
    b->setAccessibleName(caption);
}

// Calls back whenever the watched widget changes size.
class OnResize : public QObject {
public:
    OnResize(QWidget* watched, std::function<void()> callback)
        : QObject(watched)
        , callback(std::move(callback))
    {
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Resize)
            callback();
        return false;
    }

private:
    std::function<void()> callback;
};

// At a fractional scale factor a size in pixels lands on the screen rounded either way, so a window
// sized to the very edge of the available area may pass it by one device pixel.
QSize RoundingSlack(double ratio)
{
    return ratio == std::floor(ratio) ? QSize(0, 0) : QSize(1, 1);
}

// The form's width in twips around a play surface so wide.
double FormWidthAround(double surfaceTwips)
{
    return surfaceTwips + 500;
}

void Tint(QWidget* w, QColor colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
}

void Paint(QWidget* w, QColor colour)
{
    Tint(w, colour);
    w->setAutoFillBackground(true);
}
}

void Main::CreateControls()
{
    setWindowTitle(QStringLiteral("Tilora"));
    QFont formFont(QStringLiteral("Monotype Corsiva"));
    formFont.setPointSizeF(18);
    formFont.setItalic(true);
    setFont(formFont);

    // The green around the play surface is painted by the form itself, on two cores when a window just
    // grown gives it a long strip down the side.
    form = new Backdrop;
    Tint(form, QColor(0, 192, 0));
    form->resize(TwipsToPixelsX(DesignFormWidth), TwipsToPixelsY(DesignFormHeight));
    setCentralWidget(form);
    form->setAccessibleName(QStringLiteral("Tilora"));
    // The play surface is shown whole at whatever size the player gives the window.
    new OnResize(form, [this] { FitView(); });

    // Created bottom to top: Picture3 and the level panel lie above the play surface.
    const QFont controlFont = DialogFont(8.25);
    Picture1 = new PictureBox(form);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFont(controlFont);
    PlacePicture(Picture1, 0, 240, 9375, 8295);
    // A piece that was not put down follows the pointer with no button held.
    Picture1->setMouseTracking(true);
    Picture1->setFocusPolicy(Qt::StrongFocus);
    Picture1->setAccessibleName(QStringLiteral("Jocul: tava și tabla"));
    // A key keeps its button down, carrying the piece, exactly while the game holds one.
    Picture1->setHoldsPiece([this] { return Holding; });
    Picture1->setDescribeCell([this](CellAt at) { return DescribeCell(at); });

    Picture3 = new PictureBox(form);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture3->setFont(controlFont);
    PlacePicture(Picture3, 0, 0, 5535, 3975);
    Picture3->setAccessibleName(QStringLiteral("Poza întreagă"));
    Picture3->hide();

    Picture2 = new PictureBox(form);
    Picture2->setObjectName(QStringLiteral("Picture2"));
    Picture2->setFont(controlFont);
    PlacePicture(Picture2, 10680, 2520, 2055, 1695);
    Picture2->setAccessibleName(QStringLiteral("Copia jocului"));
    Picture2->hide();

    Frame1 = new QGroupBox(QStringLiteral("Level"), form);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setAccessibleName(QStringLiteral("Nivelul: piese pe latură"));
    Frame1->setFont(controlFont);
    Paint(Frame1, QColor(128, 128, 255));
    // The desktop style shades a group box's body, tinting the light blue; the plain style draws
    // only the etched line around it, so the panel shows the very blue it is given.
    if (QStyle* plain = QStyleFactory::create(QStringLiteral("Windows"))) {
        plain->setParent(Frame1);
        Frame1->setStyle(plain);
    }
    PlaceTwips(Frame1, 840, 600, 3735, 2295);

    cmdLevel = new QPushButton(Frame1);
    cmdLevel->setObjectName(QStringLiteral("cmdLevel"));
    cmdLevel->setFont(controlFont);
    PlaceTwips(cmdLevel, 240, 360, 855, 735);
    SetCaption(cmdLevel, QStringLiteral("Level Up"));

    Text1 = new QLineEdit(Frame1);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("Piese pe latură"));
    Text1->setFont(DialogFont(13.5));
    PlaceTwips(Text1, 1440, 360, 975, 735);

    cmdOk = new QPushButton(Frame1);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setFont(controlFont);
    PlaceTwips(cmdOk, 240, 1440, 855, 735);
    SetCaption(cmdOk, QStringLiteral("Ok"));

    cmdDown = new QPushButton(Frame1);
    cmdDown->setObjectName(QStringLiteral("cmdDown"));
    cmdDown->setFont(controlFont);
    PlaceTwips(cmdDown, 2760, 360, 855, 735);
    SetCaption(cmdDown, QStringLiteral("Level Down"));

    // Enter in the text box presses nothing: none of the buttons is a default button.
    for (QPushButton* b : { cmdLevel, cmdOk, cmdDown }) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    Frame1->hide();

    setTabOrder(Picture1, Picture3);
    setTabOrder(Picture3, Picture2);
    setTabOrder(Picture2, cmdLevel);
    setTabOrder(cmdLevel, Text1);
    setTabOrder(Text1, cmdOk);
    setTabOrder(cmdOk, cmdDown);
    // The play surface is where the game starts: first in the tab order and holding the focus.
    Picture1->setFocus();

    // The dialog offers every kind of file the game takes, under the game's word for them.
    cdlg.Filter = QStringLiteral("Imagini (%1)|%1").arg(PictureFilePatterns());

    connect(Picture1, &PictureBox::MouseDown, this,
        [this](int b, int s, float x, float y) { Guard([&] { Picture1_MouseDown(b, s, x, y); }); });
    connect(Picture1, &PictureBox::MouseMove, this,
        [this](int b, int s, float x, float y) { Guard([&] { Picture1_MouseMove(b, s, x, y); }); });
    connect(Picture1, &PictureBox::MouseUp, this,
        [this](int b, int s, float x, float y) { Guard([&] { Picture1_MouseUp(b, s, x, y); }); });
    connect(Picture1, &PictureBox::Click, this, [this] { Guard([&] { Picture1_Click(); }); });
    connect(cmdLevel, &QPushButton::clicked, this, [this] { Guard([&] { cmdLevel_Click(); }); });
    connect(cmdDown, &QPushButton::clicked, this, [this] { Guard([&] { cmdDown_Click(); }); });
    connect(cmdOk, &QPushButton::clicked, this, [this] { Guard([&] { cmdOK_Click(); }); });
}

void Main::CreateMenus()
{
    QMenuBar* bar = menuBar();
    // The window's own font is a decorative one; menus keep the desktop's, set property by property
    // so that nothing of the window's font is inherited.
    QFont menuFont = QApplication::font();
    menuFont.setFamily(menuFont.family());
    menuFont.setPointSizeF(menuFont.pointSizeF());
    menuFont.setItalic(false);
    menuFont.setWeight(QFont::Normal);
    bar->setFont(menuFont);
    auto item
        = [this](QMenu* menu, const QString& caption, const QKeySequence& keys, void (Main::*handler)()) {
              QAction* a = menu->addAction(caption);
              a->setShortcut(keys);
              a->setShortcutContext(Qt::WindowShortcut);
              connect(a, &QAction::triggered, this, [this, handler] { Guard([&] { (this->*handler)(); }); });
              return a;
          };
    mJoc = bar->addMenu(QStringLiteral("Joc"));
    mJoc->setFont(menuFont);
    mDeschidePoza = item(mJoc, QStringLiteral("Deschide Poza"), QKeySequence(Qt::CTRL | Qt::Key_D),
        &Main::mDeschidePoza_Click);
    mAmesteca
        = item(mJoc, QStringLiteral("Amesteca"), QKeySequence(Qt::CTRL | Qt::Key_A), &Main::mAmesteca_Click);
    mDefDiv = item(mJoc, QStringLiteral("Defineste diviziunea"), QKeySequence(Qt::CTRL | Qt::Key_G),
        &Main::mDefDiv_Click);
    mExit = item(mJoc, QStringLiteral("Exit"), QKeySequence(), &Main::mExit_Click);
    mHelp = bar->addMenu(QStringLiteral("Help"));
    mHelp->setFont(menuFont);
    mAbout = item(mHelp, QStringLiteral("About"), QKeySequence(Qt::Key_F1), &Main::mAbout_Click);
}

double Main::FormWidth() const
{
    return form->width() == formPixels ? formTwips : form->width() * TwipsPerScreenPixelX();
}

void Main::setFormWidth(double twips)
{
    formTwips = twips;
    formPixels = TwipsToPixelsX(twips);
    const Arrangement arranged = ArrangementFor(QSizeF(Picture1->Width(), Picture1->Height()), twips);
    if (arranged.surface != windowFittedTo) {
        windowFittedTo = arranged.surface;
        if (arranged.form)
            FitWindowTo(*arranged.form);
    }
    FitView();
}

Main::Arrangement Main::ArrangementFor(Int16 n, Int16 w, Int16 h) const
{
    const QSizeF surface(SurfaceWidthTwips(n, w), SurfaceHeightTwips(n, h));
    return ArrangementFor(surface, FormWidthAround(surface.width()));
}

Main::Arrangement Main::ArrangementFor(QSizeF surface, double formTwips) const
{
    Arrangement arranged { surface, formTwips, PictureBox::InnerFor(surface.width(), surface.height()), {},
        {} };
    // The window is the player's: it is fitted again only when the layout's size changes.
    if (surface != windowFittedTo)
        arranged.form = FormSizeFor(formTwips, QSizeF(arranged.inner));
    arranged.scale = ViewScaleFor(arranged.form.value_or(form->size()), arranged.inner);
    return arranged;
}

void Main::FitWindowTo(QSize formSize)
{
    const int width = formSize.width(), height = formSize.height();
    const int bar = menuBar()->sizeHint().height();
    // A window that grows keeps its right and bottom edges on the screen.
    if (isVisible() && screen()) {
        const QSize chrome = frameGeometry().size() - geometry().size();
        const QRect avail = screen()->availableGeometry();
        const QPoint at(
            std::max(avail.left(), std::min(pos().x(), avail.right() + 1 - width - chrome.width())),
            std::max(avail.top(), std::min(pos().y(), avail.bottom() + 1 - height - bar - chrome.height())));
        if (at != pos())
            move(at);
    }
    // The form is resized too: a window not shown yet lays out its central area only when it shows.
    form->resize(width, height);
    ResizeWindow(QSize(width, height + bar));
}

std::optional<QSize> Main::FormSizeFor(double twips, QSizeF inner) const
{
    // The player's window keeps the size they gave it; the play surface is fitted to it instead.
    if (playerSized || isMaximized() || isFullScreen())
        return std::nullopt;
    const int bar = menuBar()->sizeHint().height();
    QSize room(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    QSize chrome(0, 0);
    if (const QScreen* s = screen()) {
        chrome = isVisible() ? frameGeometry().size() - geometry().size() : QSize(0, 0);
        room = s->availableGeometry().size() - chrome - QSize(0, bar) - RoundingSlack(devicePixelRatioF());
    }
    // The form's height as designed, as much of it as the screen has room for.
    const int designed = std::min(TwipsToPixelsY(DesignFormHeight), room.height());

    // A surface too big for the window is shown as large as the screen's available area allows: the
    // window grows, in height too, before the surface is shown smaller.
    const int border = Picture1->frameWidth();
    const double innerW = inner.width(), innerH = inner.height();
    double scale = 1;
    if (innerW > 0 && innerH > 0)
        scale = std::min({ 1.0, (room.width() - Picture1->x() - 2 * border) / innerW,
            (room.height() - Picture1->y() - 2 * border) / innerH });
    const int needed = int(std::ceil(Picture1->y() + 2 * border + innerH * std::max(scale, 0.0)));
    const int height = std::max(1, std::min(std::max(designed, needed), room.height()));

    // A surface shown smaller needs less width.
    int width = TwipsToPixelsX(twips);
    const double fitsH = height - Picture1->y() - 2 * border;
    if (innerH > fitsH && innerH > 0)
        width -= int(innerW - std::ceil(innerW * std::max(fitsH, 1.0) / innerH));
    // However small the picture, the menu and the level panel stay whole: a 4 x 4 picture would
    // otherwise leave a window too narrow to reach them.
    const int least = std::max(menuBar()->sizeHint().width(), Frame1->geometry().right() + 1);
    width = std::max(1, std::min(std::max(width, least), room.width()));
    return QSize(width, height);
}

void Main::ResizeWindow(QSize size)
{
    ++sizingWindow;
    gameSize = size;
    sinceGameSized.start();
    resize(size);
    --sizingWindow;
}

void Main::KeepOnScreen()
{
    const QScreen* s = screen();
    if (!s || playerSized || isMaximized() || isFullScreen())
        return;
    const QRect avail = s->availableGeometry();
    const QRect frame = frameGeometry();
    if (avail.contains(frame))
        return;
    // A title bar and a panel may take more of a small screen than the design leaves room for.
    const QSize chrome = frame.size() - geometry().size();
    const QSize fits = size().boundedTo(avail.size() - chrome - RoundingSlack(devicePixelRatioF()));
    if (fits != size())
        ResizeWindow(fits);
    const QSize outer = fits + chrome;
    move(std::max(avail.left(), std::min(frame.left(), avail.right() + 1 - outer.width())),
        std::max(avail.top(), std::min(frame.top(), avail.bottom() + 1 - outer.height())));
}

void Main::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (windowSettled)
        return;
    // By then the window manager has framed and placed the window, so its whole frame is known.
    QTimer::singleShot(400, this, [this] {
        KeepOnScreen();
        windowSettled = true;
        platform.ReadyBusy();
    });
}

void Main::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    // Placed and framed by the window manager: a window that falls off the screen is brought back at once.
    if (!windowSettled && isVisible())
        KeepOnScreen();
}

void Main::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (!isVisible() || !windowSettled || sizingWindow > 0 || event->size() == gameSize)
        return;
    // The window manager's answer to the game's own size, adjusted to its rules.
    if (event->spontaneous() && sinceGameSized.isValid() && sinceGameSized.elapsed() < 500) {
        gameSize = event->size();
        return;
    }
    playerSized = true;
}

void Main::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (isMaximized() || isFullScreen()))
        playerSized = true;
}

void Main::FitView()
{
    // A window grown ahead of its picture shows the play surface as it was until the picture shows.
    if (!Picture1 || !Picture3 || grownAheadFrom)
        return;
    const auto [num, den] = ViewScaleFor(form->size(),
        QSize(static_cast<int>(Picture1->ScaleWidth()), static_cast<int>(Picture1->ScaleHeight())));
    Picture1->setViewScale(num, den);
    Picture3->setViewScale(num, den);
}

std::pair<int, int> Main::ViewScaleFor(QSize formSize, QSize inner) const
{
    // The largest scale, at most 1, at which the whole play surface fits the form.
    const int border = Picture1->frameWidth();
    const qint64 roomW = formSize.width() - Picture1->x() - 2 * border;
    const qint64 roomH = formSize.height() - Picture1->y() - 2 * border;
    const qint64 innerW = inner.width(), innerH = inner.height();
    int num = 1, den = 1;
    if (innerW > roomW || innerH > roomH) {
        // roomW / innerW against roomH / innerH, in whole numbers.
        if (roomW * innerH <= roomH * innerW) {
            num = int(std::max<qint64>(roomW, 1));
            den = int(std::max<qint64>(innerW, 1));
        } else {
            num = int(std::max<qint64>(roomH, 1));
            den = int(std::max<qint64>(innerH, 1));
        }
    }
    return { num, den };
}

double SurfaceWidthTwips(Int16 n, Int16 w)
{
    return (2 * n * w).d() * TwipsPerScreenPixelX() + 500;
}

double SurfaceHeightTwips(Int16 n, Int16 h)
{
    return (n * h).d() * TwipsPerScreenPixelY() + 100;
}

void Main::ForeseeLayout(QSize picture, Int16 n)
{
    // A window not on the screen shrinks nothing until it shows.
    if (!Picture1->isVisible())
        return;
    // The layout ShowWholePicture makes for such a picture.
    const Int16 w = PieceSide(picture.width(), n);
    const Int16 h = PieceSide(picture.height(), n);
    const Arrangement arranged = ArrangementFor(n, w, h);
    const auto [num, den] = arranged.scale;
    // Shown whole at full size, there is nothing to shrink.
    if (num >= den)
        return;
    Picture1->expectPicture(std::make_unique<ShrunkAhead>(picture, QRect(0, 0, (n * w).v(), (n * h).v()),
        arranged.inner, double(num) / den * Picture1->devicePixelRatioF()));
    // The window manager and the screen's memory take their time over a window that grows: given it
    // while the picture is decoded, it is ready when the picture is. The read waits for this foresight,
    // not for the window to grow: it grows once the read goes on, unless the open has ended by then.
    if (arranged.form && *arranged.form != form->size()) {
        grownAheadFrom = QRect(pos(), size());
        QMetaObject::invokeMethod(
            this,
            [this, size = *arranged.form] {
                if (grownAheadFrom)
                    FitWindowTo(size);
            },
            Qt::QueuedConnection);
    }
}

void Main::UngrowWindow()
{
    if (!grownAheadFrom)
        return;
    const QRect was = *std::exchange(grownAheadFrom, std::nullopt);
    form->resize(was.width(), was.height() - menuBar()->sizeHint().height());
    ResizeWindow(was.size());
    move(was.topLeft());
}

void Main::ArrangeLayout(Int16 PieceW, Int16 PieceH, Int16 OriginX, Int16 OriginY)
{
    grownAheadFrom.reset();
    const Int16 n = Divisions;
    Picture1->setWidth(SurfaceWidthTwips(n, PieceW));
    Picture1->setHeight(SurfaceHeightTwips(n, PieceH));
    setFormWidth(FormWidthAround(Picture1->Width()));
    Picture1->Clear();
    Picture1->setPlayCells(PlayCells { n.v(), PieceW.v(), PieceH.v(), OriginX.v() });
    const Int16 last = n + 1;
    for (Int16 i = 1; i <= last; i = i + 1) {
        const Int16 x = OriginX + (i - 1) * PieceW;
        Picture1->Line(x.d(), OriginY.d(), x.d(), (OriginY + n * PieceH).d());
        const Int16 y = OriginY + (i - 1) * PieceH;
        Picture1->Line(OriginX.d(), y.d(), (OriginX + n * PieceW).d(), y.d());
    }
    Picture1->Refresh();
}
