#pragma once

#include <QList>

struct Courseware;

// One node of the lesson tree: owns its children; the root carries no record.
class CourseTreeItem
{
public:
    explicit CourseTreeItem(Courseware *courseware = nullptr, CourseTreeItem *parent = nullptr);
    ~CourseTreeItem();
    CourseTreeItem(const CourseTreeItem &) = delete;
    CourseTreeItem &operator=(const CourseTreeItem &) = delete;

    CourseTreeItem *appendChild(Courseware *courseware);
    CourseTreeItem *child(int row) const { return m_children.value(row); }
    int childCount() const { return m_children.size(); }
    int row() const { return m_row; }
    CourseTreeItem *parent() const { return m_parent; }

    Courseware *courseware() const { return m_courseware; }
    // 1 chapter, 2 section, 3 lesson; 0 for the root.
    int level() const;
    // A queued or downloaded lesson cannot be chosen again: it has no check box.
    bool isCheckable() const;
    bool isChecked() const { return m_checked; }
    // Refused (stays unchecked) when the node is not checkable.
    void setChecked(bool checked);

private:
    QList<CourseTreeItem *> m_children;
    CourseTreeItem *m_parent = nullptr;
    bool m_checked = false;
    int m_row = 0; // children are only appended, so the row never changes
    Courseware *m_courseware = nullptr;
};
