#include "commandline.h"

#include "commandlinerun.h"
#include "networktexts.h"
#include "portdirectory.h"
#include "scriptparser.h"

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

Со --script ФАЙЛ --port ИМЯ программа выполняет сценарий проверки без окна
(экран ей тогда не нужен): строка на каждый шаг, итог «N passed, N failed»,
по --junit отчёт в формате JUnit XML. Код выхода: 0 — все case пройдены,
1 — какой-то не пройден, 2 — сценарий, порт или отчёт не годятся (причина
в stderr) или выполнение прервано SIGTERM, 130 — прервано Ctrl+C (SIGINT).

Параметры Qt (-platform, -style, ...) передаются Qt.)";

// The names --mode takes, in the order of the mode switch.
constexpr std::array<const char*, 4> kModeNames{"dix", "ql", "erk", "monitor"};

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
                           "поле порта, порт ещё закрыт; «Открыть» открывает именно его. Со --script — "
                           "порт, на котором выполняется сценарий."),
            QStringLiteral("имя"))
    , modeOption_(QStringLiteral("mode"),
                  QStringLiteral("Режим при запуске: dix (контроллер ТРК), ql (память контроллера), "
                                 "erk (счётчик ЭРК-2) или monitor (монитор линии)."),
                  QStringLiteral("режим"))
    , script_(QStringLiteral("script"),
              QStringLiteral("Выполнить сценарий проверки (.qlt) или воспроизвести запись монитора линии (.qlcap) "
                             "на порту --port без окна и выйти."),
              QStringLiteral("файл"))
    , address_(QStringLiteral("address"),
               QStringLiteral("Адрес контроллера для {addr} в сценарии, пока сценарий не задаст свой "
                              "(по умолчанию 01)."),
               QStringLiteral("XX"))
    , baud_(QStringLiteral("baud"),
            QStringLiteral("Скорость линии для сценария, бит/с (по умолчанию 4800, как у окна при запуске)."),
            QStringLiteral("N"))
    , junit_(QStringLiteral("junit"), QStringLiteral("Записать отчёт о сценарии в формате JUnit XML."),
             QStringLiteral("файл"))
    , window_(QStringLiteral("window"),
              QStringLiteral("Окно ответа, мс: у каждого обмена воспроизводимой записи вместо "
                             "рассчитанного по её времени, у сценария — до его первого window."),
              QStringLiteral("мс"))
    , early_(QStringLiteral("early"),
             QStringLiteral("Каждое окно ответа заканчивается, как только ответ совпал с expect после "
                            "отправки и линия смолкла (как window МС early)."))
{
    // Qt's options are single-dash words: read as bundles of letters, "-reverse" would
    // ask for the version and "-stylesheet" for the help.
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser_.setApplicationDescription(QString::fromUtf8(kDescription));
    parser_.addOptions({help_, version_, port_, modeOption_, script_, address_, baud_, junit_, window_, early_});
    // Qt's options are unknown here, and that is no error; their values are positional
    // arguments here, and are no error either.
    parser_.parse(arguments);

    // An option of ours given last without its value. The parser says so in the same
    // breath as Qt's options it does not know, so it is looked for here.
    for (const QCommandLineOption* option : {&port_, &modeOption_, &script_, &address_, &baud_, &junit_, &window_}) {
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
            error_ = QStringLiteral("Неизвестный режим «%1»: допустимы dix, ql, erk и monitor.").arg(name);
    }
    const bool windowGiven = parser_.isSet(window_);
    const int windowMs = parser_.value(window_).toInt();
    if (!parser_.isSet(script_)
        && (parser_.isSet(address_) || parser_.isSet(baud_) || parser_.isSet(junit_) || windowGiven || parser_.isSet(early_)))
        error_ = QStringLiteral("Параметры --address, --baud, --junit, --window и --early действуют только со --script.");
    else if (parser_.isSet(script_) && !parser_.isSet(port_))
        error_ = QStringLiteral("Сценарию нужен порт: --port ИМЯ.");
    else if (parser_.isSet(baud_) && parser_.value(baud_).toInt() <= 0)
        error_ = QStringLiteral("Скорость «%1» — не число бит в секунду.").arg(parser_.value(baud_));
    else if (windowGiven && (windowMs < 1 || windowMs > testscript::kLongestWindowMs))
        error_ = QStringLiteral("Окно «%1»: нужно число миллисекунд от 1 до %2.")
                     .arg(parser_.value(window_))
                     .arg(testscript::kLongestWindowMs);
}

testscript::CommandLineRun CommandLine::scriptRun() const
{
    testscript::CommandLineRun run;
    run.scriptPath = parser_.value(script_);
    run.port = port();
    run.address = parser_.value(address_);
    if (parser_.isSet(baud_))
        run.baud = parser_.value(baud_).toInt();
    run.junitPath = parser_.value(junit_);
    if (parser_.isSet(window_))
        run.windowMs = parser_.value(window_).toInt();
    run.earlyWindows = parser_.isSet(early_);
    return run;
}

QString refusedPortText(const QString& name, const ports::PortDirectory& directory)
{
    // A line behind a serial device server is reached only when the port opens; given
    // at start, only a name that is no valid one is refused.
    if (portsession::isNetworkName(name)) {
        commport::net::NameFault fault = commport::net::NameFault::None;
        if (commport::net::ParseNetworkName(name.toStdString(), &fault))
            return {};
        return portsession::invalidNetworkNameText(name, fault);
    }
    // The window takes a device path as it stands and reports a failed open when
    // "Открыть" is pressed; given at start, a path that leads nowhere is a mistyped one.
    const QString path = directory.resolveDevicePath(name);
    if (!path.isEmpty() && directory.deviceExists(path))
        return {};
    return QStringLiteral("Порт «%1» не найден на этом компьютере.").arg(name);
}

} // namespace mainwindow
