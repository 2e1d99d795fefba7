#ifndef KAVRAD_SCPIHEADERPATTERN_H
#define KAVRAD_SCPIHEADERPATTERN_H

#include <QString>
#include <QStringList>
#include <QVector>

// A command header in the notation of SCPI manuals: "[SOURce#]:VOLTage[:LEVel][:IMMediate]".
// Upper-case letters are the short form, the whole word the long form; a node in brackets may
// be left out; '#' marks the node whose numeric suffix (default 1) names the channel.
class ScpiHeaderPattern
{
public:
    explicit ScpiHeaderPattern(const QString& notation);

    // Whether the header's mnemonics (split at ':', any case, without '?') match. On a match,
    // *channel is the numeric suffix of the '#' node (1 when it is left out or has none).
    bool matches(const QStringList& mnemonics, int* channel) const;

private:
    struct Node
    {
        QString shortForm;
        QString longForm;
        bool optional;
        bool numbered;
    };

    bool matchFrom(int node, const QStringList& mnemonics, int position, int* channel) const;
    static bool matchesNode(const Node& node, const QString& mnemonic, int* suffix);

    QVector<Node> m_nodes;
};

#endif
