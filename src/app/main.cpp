#include "frmMain.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarnwell-xml-editor"));
    QApplication::setApplicationDisplayName(tarnwell::frmMain::kTitle.toString());
    QApplication::setApplicationVersion(QStringLiteral(TARNWELL_VERSION));

    tarnwell::frmMain window;
    if (!window.Form_Load())
        return 1;
    window.show();
    return QApplication::exec();
}
