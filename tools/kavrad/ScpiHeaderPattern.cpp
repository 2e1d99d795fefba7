#include "ScpiHeaderPattern.h"

#include <QRegularExpression>

ScpiHeaderPattern::ScpiHeaderPattern(const QString& notation)
{
    static const QRegularExpression nodePattern(QStringLiteral("(\\[)?:?([A-Za-z]+)(#)?\\]?"));
    auto it = nodePattern.globalMatch(notation);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString word = match.captured(2);
        QString shortForm;
        for (const QChar c : word) {
            if (c.isUpper())
                shortForm.append(c);
        }
        m_nodes.append(
            {shortForm, word.toUpper(), match.capturedLength(1) > 0, match.capturedLength(3) > 0});
    }
}

bool ScpiHeaderPattern::matches(const QStringList& mnemonics, int* channel) const
{
    *channel = 1;
    return matchFrom(0, mnemonics, 0, channel);
}

bool ScpiHeaderPattern::matchFrom(
    int node, const QStringList& mnemonics, int position, int* channel) const
{
    if (node == m_nodes.size())
        return position == mnemonics.size();
    const Node& current = m_nodes.at(node);
    if (current.optional && matchFrom(node + 1, mnemonics, position, channel))
        return true;
    int suffix = 1;
    if (position < mnemonics.size() && matchesNode(current, mnemonics.at(position), &suffix)
        && matchFrom(node + 1, mnemonics, position + 1, channel)) {
        if (current.numbered)
            *channel = suffix;
        return true;
    }
    return false;
}

bool ScpiHeaderPattern::matchesNode(const Node& node, const QString& mnemonic, int* suffix)
{
    int letters = mnemonic.size();
    while (letters > 0 && mnemonic.at(letters - 1).isDigit())
        --letters;
    const QString word = mnemonic.left(letters).toUpper();
    if (word != node.shortForm && word != node.longForm)
        return false;
    if (letters == mnemonic.size())
        return true;
    if (!node.numbered)
        return false;
    bool ok = false;
    *suffix = mnemonic.mid(letters).toInt(&ok);
    // An absurd suffix still matches the header; the command then reports it out of range.
    if (!ok)
        *suffix = -1;
    return true;
}
