// The version resource's tree as Windows lays it out: nodes of wLength,
// wValueLength, wType, a NUL-ended UTF-16 key, the value and the children,
// each of the last three starting on a 32-bit boundary of the tree. Shared
// by the reader and the writer of version information, so both take the
// same bytes for a node.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <cstdint>

namespace VersionTree {

constexpr uint16_t TextType = 1;
constexpr qsizetype NodeHeaderSize = 6;

inline qsizetype Align4(qsizetype at)
{
    return (at + 3) & ~qsizetype(3);
}

// The caller keeps at + 2 within the tree.
inline uint16_t UnitAt(const QByteArray &tree, qsizetype at)
{
    return qFromLittleEndian<uint16_t>(tree.constData() + at);
}

struct TNode {
    qsizetype End = 0;
    qsizetype KeyStart = 0;
    qsizetype KeyUnits = 0;
    bool IsText = false;
    qsizetype ValueStart = 0;
    qsizetype ValueBytes = 0;
    qsizetype ChildrenStart = 0;
};

// The node at start of a parent that ends at limit; false when it does not
// fit there. Every part is cut to the node's length.
inline bool ReadNode(const QByteArray &tree, qsizetype start, qsizetype limit, TNode &node)
{
    if (start > limit || limit - start < NodeHeaderSize)
        return false;
    const qsizetype length = UnitAt(tree, start);
    if (length < NodeHeaderSize || length > limit - start)
        return false;
    node.End = start + length;
    const qsizetype valueLength = UnitAt(tree, start + 2);
    node.IsText = UnitAt(tree, start + 4) == TextType;
    node.KeyStart = start + NodeHeaderSize;
    qsizetype at = node.KeyStart;
    for (;; at += 2) {
        if (node.End - at < 2)
            return false;
        if (UnitAt(tree, at) == 0)
            break;
    }
    node.KeyUnits = (at - node.KeyStart) / 2;
    node.ValueStart = std::min(Align4(at + 2), node.End);
    // A text's length counts UTF-16 units; some compilers count bytes, which
    // the cut to the node and the NUL take care of.
    node.ValueBytes = std::min(node.IsText ? valueLength * 2 : valueLength, node.End - node.ValueStart);
    node.ChildrenStart = std::min(Align4(node.ValueStart + node.ValueBytes), node.End);
    return true;
}

inline QString Utf16At(const QByteArray &tree, qsizetype start, qsizetype units)
{
    QString text(units, Qt::Uninitialized);
    for (qsizetype i = 0; i < units; ++i)
        text[i] = QChar(UnitAt(tree, start + 2 * i));
    return text;
}

} // namespace VersionTree
