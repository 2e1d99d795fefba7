#include "KavraLog.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QList>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// The serial number of the unit that the current thread works for, or null.
thread_local const QString* t_unit = nullptr;

constexpr const char* Prefix = "kavra.";

// Which categories KAVRA_LOG switches on, and how far: read once, before any category is used.
struct Settings
{
    QList<QByteArray> full; // every message: category names without the prefix
    bool all = false;
    bool info = false;
    std::FILE* output = stderr;
};

Settings g_settings;
QLoggingCategory::CategoryFilter g_previousFilter = nullptr;
QtMessageHandler g_previousHandler = nullptr;

bool isOurs(const char* category)
{
    return category && std::strncmp(category, Prefix, std::strlen(Prefix)) == 0;
}

void filter(QLoggingCategory* category)
{
    if (g_previousFilter)
        g_previousFilter(category);
    if (!isOurs(category->categoryName()))
        return;
    const QByteArray name = QByteArray(category->categoryName()).mid(int(std::strlen(Prefix)));
    const bool full = g_settings.all || g_settings.full.contains(name);
    if (full || g_settings.info)
        category->setEnabled(QtInfoMsg, true);
    if (full)
        category->setEnabled(QtDebugMsg, true);
}

// A short name per thread, in the order in which threads first log.
int threadNumber()
{
    static std::atomic<int> next{1};
    thread_local const int number = next++;
    return number;
}

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!isOurs(context.category)) {
        if (g_previousHandler)
            g_previousHandler(type, context, message);
        return;
    }
    const QByteArray line
        = QStringLiteral("%1 [t%2] %3 %4: %5\n")
              .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")))
              .arg(threadNumber())
              .arg(QString::fromLatin1(context.category),
                  t_unit && !t_unit->isEmpty() ? *t_unit : QStringLiteral("-"), message)
              .toUtf8();
    // One line at a time from any thread; never closed, so that teardown can still log.
    static std::mutex* const writing = new std::mutex;
    std::lock_guard<std::mutex> locker(*writing);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), g_settings.output);
    std::fflush(g_settings.output);
}

void configure()
{
    const QByteArray text = qgetenv("KAVRA_LOG").trimmed().toLower();
    if (text.isEmpty())
        return;
    static const QList<QByteArray> known = {"session", "discovery", "wire", "d2xx"};
    for (QByteArray word : QByteArray(text).replace(',', ' ').split(' ')) {
        if (word.isEmpty())
            continue;
        if (word == "all" || word == "debug" || word == "1")
            g_settings.all = true;
        else if (word == "info")
            g_settings.info = true;
        else if (known.contains(word))
            g_settings.full.append(word);
        else
            std::fprintf(stderr,
                "KAVRA_LOG: unknown word \"%s\" (known: session, discovery, wire, d2xx, all, "
                "info)\n",
                word.constData());
    }
    const QByteArray file = qgetenv("KAVRA_LOG_FILE");
    if (!file.isEmpty()) {
        if (std::FILE* opened = std::fopen(QFile::decodeName(file).toLocal8Bit().constData(), "a"))
            g_settings.output = opened;
        else
            std::fprintf(
                stderr, "KAVRA_LOG_FILE: cannot open %s for appending\n", file.constData());
    }
    g_previousHandler = qInstallMessageHandler(handler);
    // Applied at once to every category that exists, and later to each new one.
    g_previousFilter = QLoggingCategory::installFilter(filter);
}

// Built once, thread-safely, on the first message; never destroyed, so that static teardown can
// still reach the categories. Debug and info are off unless the filter switches them on.
struct Categories
{
    QLoggingCategory session{"kavra.session", QtWarningMsg};
    QLoggingCategory discovery{"kavra.discovery", QtWarningMsg};
    QLoggingCategory wire{"kavra.wire", QtWarningMsg};
    QLoggingCategory d2xx{"kavra.d2xx", QtWarningMsg};

    Categories() { configure(); }
};

const Categories& categories()
{
    static const Categories* const instance = new Categories;
    return *instance;
}

} // namespace

const QLoggingCategory& KavraLog::session()
{
    return categories().session;
}

const QLoggingCategory& KavraLog::discovery()
{
    return categories().discovery;
}

const QLoggingCategory& KavraLog::wire()
{
    return categories().wire;
}

const QLoggingCategory& KavraLog::d2xx()
{
    return categories().d2xx;
}

KavraLog::UnitScope::UnitScope(const QString& serialNumber) : m_previous(t_unit)
{
    t_unit = &serialNumber;
}

KavraLog::UnitScope::~UnitScope()
{
    t_unit = m_previous;
}
