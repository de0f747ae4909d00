// What the operator types into the port box, resolved against a known directory: one
// virtual port COM3 and nothing else.

#include "fuzzcheck.h"

#include "portdirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace ports;

namespace {

struct KnownTree {
    QTemporaryDir dir;
    QString device;
    PortDirectory directory;

    KnownTree()
        : directory(PortRoots{dir.filePath("sys"), dir.filePath("dev"), dir.filePath("ports")})
    {
        QDir(dir.path()).mkpath("sys/class/tty");
        QDir(dir.path()).mkpath("dev");
        QDir(dir.path()).mkpath("ports");
        QFile node(dir.filePath("dev/pts7"));
        node.open(QIODevice::WriteOnly);
        device = QFileInfo(node.fileName()).canonicalFilePath();
        QFile::link(device, dir.filePath("ports/COM3"));
        fuzz::check(directory.resolveDevicePath(QStringLiteral("COM3")) == device, "the tree was not built");
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static KnownTree tree;
    const QString typed = fuzz::typedText(data, size);
    const QString path = tree.directory.resolveDevicePath(typed);
    if (typed.startsWith(u'/'))
        fuzz::check(path == typed, "a typed path was not taken as it stands", typed);
    else if (typed == QStringLiteral("COM3"))
        fuzz::check(path == tree.device, "the port name did not give its device", path);
    else
        fuzz::check(path.isEmpty(), "a name that is no port gave a device", typed + QStringLiteral(" -> ") + path);
    return 0;
}
