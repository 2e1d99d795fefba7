#include "LineEditor.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#ifdef KAVRACTL_HAVE_LIBEDIT
#include <editline/readline.h>
#endif
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef KAVRACTL_HAVE_LIBEDIT
constexpr int kHistoryLines = 1000;

struct FreeLine
{
    void operator()(char* line) const { std::free(line); }
};
#endif

bool inputIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdin)) != 0;
#else
    return isatty(STDIN_FILENO) != 0;
#endif
}

bool readPlainLine(QString* line)
{
    std::string text;
    if (!std::getline(std::cin, text))
        return false;
    // A console or a file written on Windows ends its lines with CR LF.
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    *line = QString::fromStdString(text);
    return true;
}

} // namespace

LineEditor::LineEditor() : m_interactive(inputIsTerminal())
{
#ifdef KAVRACTL_HAVE_LIBEDIT
    if (!m_interactive)
        return;
    // Lets ~/.editrc hold settings for this program alone ("kavractl:bind ...").
    rl_readline_name = "kavractl";
    using_history();
    stifle_history(kHistoryLines);
    m_historyFile = QDir::home().filePath(QStringLiteral(".kavractl_history"));
    read_history(QFile::encodeName(m_historyFile).constData());
#endif
}

LineEditor::~LineEditor()
{
#ifdef KAVRACTL_HAVE_LIBEDIT
    if (m_interactive)
        write_history(QFile::encodeName(m_historyFile).constData());
#endif
}

bool LineEditor::read(const QString& prompt, QString* line)
{
    if (!m_interactive)
        return readPlainLine(line);
#ifdef KAVRACTL_HAVE_LIBEDIT
    const std::unique_ptr<char, FreeLine> text(readline(prompt.toUtf8().constData()));
    if (!text)
        return false;
    *line = QString::fromUtf8(text.get());
    if (!line->trimmed().isEmpty())
        add_history(text.get());
    return true;
#else
    // No libedit: the prompt, then a plain line (the console edits it; no history of our own).
    std::cout << prompt.toStdString() << std::flush;
    return readPlainLine(line);
#endif
}
