#include "player/MpvNode.h"

#include "player/MpvLibrary.h"

#include <QVariantList>
#include <QVariantMap>

MpvNodeBuilder::MpvNodeBuilder(const QVariant &value) { fill(m_root, value); }

char *MpvNodeBuilder::keep(const QByteArray &text)
{
    m_texts.push_back(text);
    // data() of a non-shared QByteArray is writable and NUL-terminated.
    return m_texts.back().data();
}

mpv_node_list *MpvNodeBuilder::newList(int size, bool withKeys)
{
    m_values.emplace_back(size_t(size));
    mpv_node_list list{size, m_values.back().data(), nullptr};
    if (withKeys) {
        m_keys.emplace_back(size_t(size));
        list.keys = m_keys.back().data();
    }
    m_lists.push_back(list);
    return &m_lists.back();
}

void MpvNodeBuilder::fill(mpv_node &node, const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::QByteArray:
        node.format = MPV_FORMAT_STRING;
        node.u.string = keep(value.toByteArray());
        break;
    case QMetaType::QString:
        node.format = MPV_FORMAT_STRING;
        node.u.string = keep(value.toString().toUtf8());
        break;
    case QMetaType::Bool:
        node.format = MPV_FORMAT_FLAG;
        node.u.flag = value.toBool() ? 1 : 0;
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        node.format = MPV_FORMAT_INT64;
        node.u.int64 = value.toLongLong();
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        node.format = MPV_FORMAT_DOUBLE;
        node.u.double_ = value.toDouble();
        break;
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        const QVariantList items = value.toList();
        mpv_node_list *list = newList(items.size(), false);
        for (int i = 0; i < items.size(); ++i)
            fill(list->values[i], items.at(i));
        node.format = MPV_FORMAT_NODE_ARRAY;
        node.u.list = list;
        break;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap items = value.toMap();
        mpv_node_list *list = newList(items.size(), true);
        int i = 0;
        for (auto it = items.cbegin(); it != items.cend(); ++it, ++i) {
            list->keys[i] = keep(it.key().toUtf8());
            fill(list->values[i], it.value());
        }
        node.format = MPV_FORMAT_NODE_MAP;
        node.u.list = list;
        break;
    }
    default: node.format = MPV_FORMAT_NONE; break;
    }
}

MpvNodeResult::MpvNodeResult(const MpvLibrary &library)
    : m_library(library)
{
}

MpvNodeResult::~MpvNodeResult() { release(); }

mpv_node *MpvNodeResult::out()
{
    release();
    return &m_node;
}

void MpvNodeResult::release()
{
    // A node nobody filled in is NONE and owns nothing; libmpv frees the rest.
    if (m_node.format != MPV_FORMAT_NONE && m_library.freeNodeContents)
        m_library.freeNodeContents(&m_node);
    m_node = mpv_node{};
}

QVariant MpvNodeResult::toVariant(const mpv_node &node)
{
    switch (node.format) {
    case MPV_FORMAT_STRING:
    case MPV_FORMAT_OSD_STRING: return QString::fromUtf8(node.u.string);
    case MPV_FORMAT_FLAG: return node.u.flag != 0;
    case MPV_FORMAT_INT64: return qlonglong(node.u.int64);
    case MPV_FORMAT_DOUBLE: return node.u.double_;
    case MPV_FORMAT_NODE_ARRAY: {
        QVariantList items;
        for (int i = 0; node.u.list && i < node.u.list->num; ++i)
            items << toVariant(node.u.list->values[i]);
        return items;
    }
    case MPV_FORMAT_NODE_MAP: {
        QVariantMap items;
        for (int i = 0; node.u.list && i < node.u.list->num; ++i)
            items.insert(QString::fromUtf8(node.u.list->keys[i]),
                         toVariant(node.u.list->values[i]));
        return items;
    }
    default: return QVariant();
    }
}
