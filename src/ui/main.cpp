// Entry of the Orvane Video Joiner application.
#include "global_vars.h"
#include "qt_dispatcher.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppTitle);
    QtDispatcher dispatcher;
    SetMainDispatcher(&dispatcher);

    QWidget window;
    window.setWindowTitle(AppTitle);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QString::fromUtf8(AppTitle), &window));
    window.resize(772, 560);
    window.show();
    const int status = app.exec();
    SetMainDispatcher(nullptr);
    return status;
}
