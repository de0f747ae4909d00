// A bare Qt Widgets window of the console's size with a button, a line edit and a
// text pane: what a Qt program costs before any of its own code. Runs until killed.

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("Файл"));
    auto* area = new QWidget;
    auto* column = new QVBoxLayout(area);
    column->addWidget(new QPushButton(QStringLiteral("Открыть")));
    column->addWidget(new QLineEdit);
    column->addWidget(new QPlainTextEdit);
    window.setCentralWidget(area);
    window.resize(840, 690);
    window.show();
    return app.exec();
}
