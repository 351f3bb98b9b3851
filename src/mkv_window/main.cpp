// vantrel-mkv [DISC] [-o OUT.mkv]: the window that turns a disc's title into
// one Matroska file.
#include "files/file_layer.h"
#include "mkv_window.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>

namespace {
constexpr const char* kUsage = "usage: vantrel-mkv [DISC] [-o OUT.mkv]\n"
                               "A window that writes a title of an HD DVD (a disc folder, its HVDVD_TS\n"
                               "folder, a playlist, an EVO file or a disc image) as one Matroska file.\n"
                               "DISC is read at the start; -o names the output file.\n";
}

int main(int argc, char** argv) {
    QString source, output;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vantrel-mkv %s\n", VANTREL_VERSION);
            return 0;
        }
        if ((std::strcmp(argv[i], "-o") == 0 || std::strcmp(argv[i], "--output") == 0) && i + 1 < argc) {
            output = QString::fromLocal8Bit(argv[++i]);
        } else if (argv[i][0] == '-' || !source.isEmpty()) {
            std::fputs(kUsage, stderr);
            return 2;
        } else {
            source = QString::fromLocal8Bit(argv[i]);
        }
    }
    vantrel::setUpFileLayer();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel MKV"));
    QApplication::setDesktopFileName(QStringLiteral("vantrel-mkv"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/vantrel-mkv/vantrel-mkv.png")));
    vantrel::mkvwin::MkvWindow window;
    if (!output.isEmpty()) window.setOutput(output);
    window.show();
    if (!source.isEmpty()) window.openSource(source);
    return QApplication::exec();
}
