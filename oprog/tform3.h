#pragma once
// The About window: the program's name and version, who makes it, its web address as
// a link, and three pictures of its own.

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QUrl;

namespace oprog {

// The project's web address, which the link on the About window opens.
inline constexpr const char* kProjectAddress = "https://qldixw.example.org/";

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    // Hands the web address to the desktop's browser; tests put their own in its place.
    void setUrlOpener(std::function<bool(const QUrl&)> opener) { openUrl_ = std::move(opener); }

    void Button1Click();
    void Label2Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* const Image1_;
    QLabel* const Label4_;
    QLabel* const Image3_;
    QLabel* const Label1_;
    QLabel* const Label3_;
    QLabel* const Label2_;
    QLabel* const Image2_;
    QLabel* const Label5_;
    QLabel* const Label6_;
    QLabel* const Label9_;
    QLabel* const Label7_;
    QPushButton* const Button1_;
    std::function<bool(const QUrl&)> openUrl_;
};

} // namespace oprog
