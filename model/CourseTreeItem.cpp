#include "model/CourseTreeItem.h"

#include "model/Courseware.h"

CourseTreeItem::CourseTreeItem(Courseware *courseware, CourseTreeItem *parent)
    : m_parent(parent)
    , m_courseware(courseware)
{
}

CourseTreeItem::~CourseTreeItem() { qDeleteAll(m_children); }

CourseTreeItem *CourseTreeItem::appendChild(Courseware *courseware)
{
    auto *child = new CourseTreeItem(courseware, this);
    child->m_row = m_children.size();
    m_children.append(child);
    return child;
}

int CourseTreeItem::level() const { return m_courseware ? m_courseware->level : 0; }

bool CourseTreeItem::isCheckable() const
{
    if (!m_courseware || m_courseware->level != Courseware::Lesson)
        return true;
    return m_courseware->downloadState != Courseware::Queued
           && m_courseware->downloadState != Courseware::Downloaded;
}

void CourseTreeItem::setChecked(bool checked) { m_checked = checked && isCheckable(); }
