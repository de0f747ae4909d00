#include "commandline.h"

#include "portdirectory.h"

#include <QFileInfo>

#include <array>

namespace mainwindow {

namespace {

const char* const kDescription = R"(Сервисная консоль для устройств на последовательной линии: контроллера ТРК
(режим «DIX»), контроллера, память которого читается и пишется побайтно («QL»),
и трёхфазного счётчика («ЭРК-2»). Без параметров открывает своё окно.

Порты называются COM-именами. Виртуальные порты — символические ссылки COM<n>
в $XDG_RUNTIME_DIR/qldixw/ports (/tmp/qldixw-<uid>/ports без XDG_RUNTIME_DIR);
имитатор qldixw-devsim публикует свой порт там. Настоящие порты берутся из
/sys/class/tty: ttyS<n> — это COM<n+1>, остальные нумеруются после них. Список
порта в окне показывает имена до COM9; порт с большим номером и любой путь к
устройству вводятся в поле порта и подтверждаются Enter (или задаются --port).

Параметры Qt (-platform, -style, ...) передаются Qt.)";

// The names --mode takes, in the order of the mode switch.
constexpr std::array<const char*, 3> kModeNames{"dix", "ql", "erk"};

QStringList argumentWords(const QCommandLineOption& option)
{
    QStringList words;
    for (const QString& name : option.names())
        words << u'-' + name << QStringLiteral("--") + name;
    return words;
}

} // namespace

CommandLine::CommandLine(const QStringList& arguments)
    : help_({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Показать эту справку."))
    , version_({QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Показать версию программы."))
    , port_(QStringLiteral("port"),
            QStringLiteral("Порт при запуске: COM-имя или путь к устройству. Окно открывается с ним в "
                           "поле порта, порт ещё закрыт; «Открыть» открывает именно его."),
            QStringLiteral("имя"))
    , modeOption_(QStringLiteral("mode"),
                  QStringLiteral("Режим при запуске: dix (контроллер ТРК), ql (память контроллера) "
                                 "или erk (счётчик ЭРК-2)."),
                  QStringLiteral("режим"))
{
    // Qt's options are single-dash words: read as bundles of letters, "-reverse" would
    // ask for the version and "-stylesheet" for the help.
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser_.setApplicationDescription(QString::fromUtf8(kDescription));
    parser_.addOptions({help_, version_, port_, modeOption_});
    // Qt's options are unknown here, and that is no error; their values are positional
    // arguments here, and are no error either.
    parser_.parse(arguments);

    // An option of ours given last without its value. The parser says so in the same
    // breath as Qt's options it does not know, so it is looked for here.
    for (const QCommandLineOption* option : {&port_, &modeOption_}) {
        const QStringList words = argumentWords(*option);
        if ((arguments.size() > 1 && words.contains(arguments.last()))
            || (parser_.isSet(*option) && parser_.value(*option).isEmpty())) {
            error_ = QStringLiteral("Параметру --%1 нужно значение.").arg(option->names().constLast());
            return;
        }
    }
    if (parser_.isSet(modeOption_)) {
        const QString name = parser_.value(modeOption_);
        for (std::size_t item = 0; item < kModeNames.size(); ++item)
            if (name == QLatin1String(kModeNames[item]))
                mode_ = int(item);
        if (!mode_)
            error_ = QStringLiteral("Неизвестный режим «%1»: допустимы dix, ql и erk.").arg(name);
    }
}

QString refusedPortText(const QString& name, const ports::PortDirectory& directory)
{
    // The window takes a device path as it stands and reports a failed open when
    // "Открыть" is pressed; given at start, a path that leads nowhere is a mistyped one.
    const QString path = directory.resolveDevicePath(name);
    if (!path.isEmpty() && QFileInfo::exists(path))
        return {};
    return QStringLiteral("Порт «%1» не найден на этом компьютере.").arg(name);
}

} // namespace mainwindow
