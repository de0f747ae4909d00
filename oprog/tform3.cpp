#include "tform3.h"

#include "controlnames.h"
#include "programversion.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

using ui::makeControl;
using ui::makeLabel;

namespace oprog {

namespace {

// A picture from the resources, stretched to its frame. The files are JPEG: they
// come through Qt's JPEG image plugin.
QLabel* makePicture(QWidget* parent, const char* name, const char* resource, QRect frame)
{
    auto* picture = makeControl<QLabel>(parent, name);
    picture->setGeometry(frame);
    picture->setScaledContents(true);
    picture->setPixmap(QPixmap(QString::fromLatin1(resource)));
    return picture;
}

QString addressText()
{
    return QUrl(QString::fromLatin1(kProjectAddress)).host();
}

} // namespace

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , Image1_(makePicture(this, "Image1", ":/oprog/programicon.jpg", {8, 8, 105, 97}))
    , Label4_(makeLabel(this, "Label4", QStringLiteral("QLDIXw V ") + QLatin1String(ui::kProgramVersion), {168, 16}))
    , Image3_(makePicture(this, "Image3", ":/oprog/serialplug.jpg", {320, 16, 65, 33}))
    , Label1_(makeLabel(this, "Label1", QStringLiteral("Команда проекта QLDIXw"), {160, 48}))
    , Label3_(makeLabel(this, "Label3", QStringLiteral("свободная сервисная консоль"), {176, 64}))
    , Label2_(makeLabel(this, "Label2", addressText(), {168, 80}))
    , Image2_(makePicture(this, "Image2", ":/oprog/meterdial.jpg", {336, 88, 25, 33}))
    , Label5_(makeLabel(this, "Label5", QStringLiteral("Автор:"), {200, 120}))
    , Label6_(makeLabel(this, "Label6", QStringLiteral("команда разработчиков"), {176, 136}))
    , Label9_(makeLabel(this, "Label9", QStringLiteral("проекта QLDIXw"), {184, 152}))
    , Label7_(makeLabel(this, "Label7", QStringLiteral("qldixw@example.org"), {160, 168}))
    , Button1_(makeControl<QPushButton>(this, "Button1", QStringLiteral("Закрыть")))
    , openUrl_([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("TForm3"));
    setWindowTitle(QStringLiteral("QLDIXw V2.0 о программе"));
    setWindowIcon(QIcon(QStringLiteral(":/oprog/programicon.jpg")));
    setFixedSize(410, 193);
    move(150, 150);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    QFont title = Label4_->font();
    title.setPixelSize(13);
    title.setBold(true);
    Label4_->setFont(title);
    Label4_->adjustSize();

    // The address reads as a link: blue, underlined, a hand over it.
    QFont link = Label2_->font();
    link.setUnderline(true);
    Label2_->setFont(link);
    QPalette blue = Label2_->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Label2_->setPalette(blue);
    Label2_->setCursor(Qt::PointingHandCursor);
    Label2_->setToolTip(QString::fromLatin1(kProjectAddress));
    Label2_->adjustSize();
    Label2_->installEventFilter(this);

    Button1_->setGeometry(24, 152, 75, 25);
    connect(Button1_, &QPushButton::clicked, this, &TForm3::Button1Click);
}

void TForm3::Button1Click()
{
    close();
}

void TForm3::Label2Click()
{
    if (openUrl_)
        openUrl_(QUrl(QString::fromLatin1(kProjectAddress)));
}

bool TForm3::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label2_ && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label2Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace oprog
