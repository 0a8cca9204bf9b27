#pragma once

#include <QByteArray>
#include <QVariant>

#include <deque>
#include <vector>

#include <mpv/client.h>

class MpvLibrary;

// An mpv_node tree built from a QVariant, owning every string and list it points to for as
// long as it lives: strings and byte arrays become STRING (bytes as they are, text as
// UTF-8), bool FLAG, integers INT64, floating point DOUBLE, lists NODE_ARRAY, maps
// NODE_MAP; anything else NONE.
class MpvNodeBuilder
{
public:
    explicit MpvNodeBuilder(const QVariant &value);
    MpvNodeBuilder(const MpvNodeBuilder &) = delete;
    MpvNodeBuilder &operator=(const MpvNodeBuilder &) = delete;

    mpv_node *node() { return &m_root; }

private:
    void fill(mpv_node &node, const QVariant &value);
    char *keep(const QByteArray &text);
    mpv_node_list *newList(int size, bool withKeys);

    mpv_node m_root{};
    // Deques: growing them never moves what earlier nodes point to.
    std::deque<QByteArray> m_texts;
    std::deque<std::vector<mpv_node>> m_values;
    std::deque<std::vector<char *>> m_keys;
    std::deque<mpv_node_list> m_lists;
};

// A node that libmpv fills in (a command's result, a property read as a node), freed by
// libmpv when this goes out of scope.
class MpvNodeResult
{
public:
    explicit MpvNodeResult(const MpvLibrary &library);
    ~MpvNodeResult();
    MpvNodeResult(const MpvNodeResult &) = delete;
    MpvNodeResult &operator=(const MpvNodeResult &) = delete;

    // For the call that fills it in; a node filled before is freed first.
    mpv_node *out();
    // The same conversions as MpvNodeBuilder, backwards (strings as UTF-8 text).
    QVariant toVariant() const { return toVariant(m_node); }
    static QVariant toVariant(const mpv_node &node);

private:
    void release();

    const MpvLibrary &m_library;
    mpv_node m_node{};
};
