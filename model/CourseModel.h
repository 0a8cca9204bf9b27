#pragma once

#include <QAbstractItemModel>

#include <memory>

class CourseTreeItem;
struct Course;
struct Courseware;

// The lesson tree of one course: chapters, sections and lessons with check boxes for
// choosing downloads (column 0), the download state (1), the length (2) and how far the
// student got (3). Each index's internal pointer is its CourseTreeItem. Built once; it does
// not follow the queue.
class CourseModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    static constexpr int ColumnCount = 4;
    static constexpr int IdRole = Qt::UserRole; // column 0: the node's id

    // The nodes point into the course's lesson list, which must outlive the model.
    explicit CourseModel(Course *course, QObject *parent = nullptr);
    ~CourseModel() override;

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Checks or unchecks every node.
    void setAllChecked(bool checked);
    // After lessons were queued: unchecks every node and shows each lesson's state anew,
    // keeping the rows (and so what the view has expanded).
    void refreshStates(const QModelIndex &parent = QModelIndex());
    // A lesson's own box; a chapter's or section's from its lessons (some: partly checked).
    static Qt::CheckState checkState(const CourseTreeItem *item);
    static CourseTreeItem *itemAt(const QModelIndex &index);
    // "已学完", "已学 40%" (or "学到 mm:ss" when the length is unknown), or empty.
    static QString progressText(const Courseware &lesson);
    // The lesson's record changed (its learning progress): its row is shown anew.
    void lessonChanged(const QString &lessonId, const QModelIndex &parent = QModelIndex());

private:
    void build(Course *course);
    CourseTreeItem *itemOrRoot(const QModelIndex &index) const;
    bool setCheckedDown(const QModelIndex &index, const QVariant &value, int role);

    std::unique_ptr<CourseTreeItem> m_root;
};
