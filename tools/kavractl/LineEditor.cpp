#include "LineEditor.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include <editline/readline.h>
#include <unistd.h>

namespace {

constexpr int kHistoryLines = 1000;

struct FreeLine
{
    void operator()(char* line) const { std::free(line); }
};

} // namespace

LineEditor::LineEditor() : m_interactive(isatty(STDIN_FILENO) != 0)
{
    if (!m_interactive)
        return;
    // Lets ~/.editrc hold settings for this program alone ("kavractl:bind ...").
    rl_readline_name = "kavractl";
    using_history();
    stifle_history(kHistoryLines);
    m_historyFile = QDir::home().filePath(QStringLiteral(".kavractl_history"));
    read_history(QFile::encodeName(m_historyFile).constData());
}

LineEditor::~LineEditor()
{
    if (m_interactive)
        write_history(QFile::encodeName(m_historyFile).constData());
}

bool LineEditor::read(const QString& prompt, QString* line)
{
    if (!m_interactive) {
        std::string text;
        if (!std::getline(std::cin, text))
            return false;
        *line = QString::fromStdString(text);
        return true;
    }
    const std::unique_ptr<char, FreeLine> text(readline(prompt.toUtf8().constData()));
    if (!text)
        return false;
    *line = QString::fromUtf8(text.get());
    if (!line->trimmed().isEmpty())
        add_history(text.get());
    return true;
}
