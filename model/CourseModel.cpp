#include "model/CourseModel.h"

#include "app/Accessors.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/CourseTreeItem.h"
#include "model/YaheiFont.h"

#include <QColor>
#include <QFont>
#include <QSize>

CourseModel::CourseModel(Course *course, QObject *parent)
    : QAbstractItemModel(parent)
    , m_root(std::make_unique<CourseTreeItem>())
{
    build(course);
}

CourseModel::~CourseModel() = default;

void CourseModel::build(Course *course)
{
    if (!course)
        return;
    FileStream *downloads = fileStream();
    CourseTreeItem *chapter = nullptr;
    CourseTreeItem *section = nullptr;
    for (Courseware &record : course->coursewares) {
        CourseTreeItem *parent = nullptr;
        switch (record.level) {
        case Courseware::Chapter: parent = m_root.get(); break;
        case Courseware::Section: parent = chapter ? chapter : m_root.get(); break;
        case Courseware::Lesson:
            parent = section ? section : (chapter ? chapter : m_root.get());
            break;
        default: continue;
        }
        // The tree shows what the download list knows about the lesson.
        if (downloads) {
            if (const Courseware *stored =
                    downloads->findDownloadLesson(record.courseId, record.id))
                record.downloadState = stored->downloadState;
        }
        CourseTreeItem *item = parent->appendChild(&record);
        if (record.level == Courseware::Chapter) {
            chapter = item;
            section = nullptr;
        } else if (record.level == Courseware::Section) {
            section = item;
        }
    }
}

CourseTreeItem *CourseModel::itemAt(const QModelIndex &index)
{
    return index.isValid() ? static_cast<CourseTreeItem *>(index.internalPointer()) : nullptr;
}

CourseTreeItem *CourseModel::itemOrRoot(const QModelIndex &index) const
{
    return index.isValid() ? itemAt(index) : m_root.get();
}

QModelIndex CourseModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount)
        return QModelIndex();
    if (parent.isValid() && parent.column() != 0)
        return QModelIndex();
    CourseTreeItem *child = itemOrRoot(parent)->child(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex CourseModel::parent(const QModelIndex &child) const
{
    CourseTreeItem *item = itemAt(child);
    if (!item || !item->parent() || item->parent() == m_root.get())
        return QModelIndex();
    CourseTreeItem *parentItem = item->parent();
    return createIndex(parentItem->row(), 0, parentItem);
}

int CourseModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return itemOrRoot(parent)->childCount();
}

int CourseModel::columnCount(const QModelIndex &) const { return ColumnCount; }

Qt::ItemFlags CourseModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.column() == 0)
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable;
    return QAbstractItemModel::flags(index);
}

QVariant CourseModel::data(const QModelIndex &index, int role) const
{
    const CourseTreeItem *item = itemAt(index);
    if (!item || !item->courseware())
        return QVariant();
    const Courseware &record = *item->courseware();
    const int level = item->level();
    const int column = index.column();

    switch (role) {
    case Qt::DisplayRole:
        if (column == 0)
            return record.title;
        if (column == 1) {
            if (level == Courseware::Lesson && record.downloadState == Courseware::Downloaded)
                return QStringLiteral("已下载");
            if (level == Courseware::Lesson && record.downloadState == Courseware::Queued)
                return QStringLiteral("正在下载");
            return QString();
        }
        if (column == 2)
            return record.cTime;
        return level == Courseware::Lesson ? progressText(record) : QString();
    case Qt::CheckStateRole:
        if (column != 0 || !item->isCheckable())
            return QVariant();
        return checkState(item);
    case Qt::ForegroundRole:
        if (column == 3)
            return record.stutas.toInt() > 0 ? QColor(46, 150, 80) : QColor(254, 134, 25);
        return level == Courseware::Chapter ? QColor(13, 124, 195) : QColor(51, 51, 51);
    case Qt::SizeHintRole:
        if (column == 0)
            return QVariant();
        return level == Courseware::Lesson ? QSize(100, 35) : QSize(100, 45);
    case Qt::TextAlignmentRole:
        if (column < 2)
            return QVariant();
        return int((column == 2 ? Qt::AlignRight : Qt::AlignHCenter) | Qt::AlignVCenter);
    case IdRole: return column == 0 ? QVariant(record.id) : QVariant();
    case Qt::FontRole: return YaheiFont::font(level == Courseware::Lesson ? 9 : 10);
    default: return QVariant();
    }
}

namespace {

// "mm:ss" or "hh:mm:ss" in seconds; 0 when it is neither.
int lengthSeconds(const QString &text)
{
    int seconds = 0;
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3)
        return 0;
    for (const QString &part : parts) {
        bool ok = false;
        const int value = part.trimmed().toInt(&ok);
        if (!ok || value < 0)
            return 0;
        seconds = seconds * 60 + value;
    }
    return seconds;
}

} // namespace

QString CourseModel::progressText(const Courseware &lesson)
{
    if (lesson.stutas.toInt() > 0)
        return QStringLiteral("已学完");
    const int reached = int(lesson.watchtimes.toDouble());
    if (reached <= 0)
        return QString();
    const int length = lengthSeconds(lesson.cTime);
    if (length > 0)
        return QStringLiteral("已学 %1%").arg(qBound(1, reached * 100 / length, 99));
    return QStringLiteral("学到 %1:%2")
        .arg(reached / 60, 2, 10, QLatin1Char('0'))
        .arg(reached % 60, 2, 10, QLatin1Char('0'));
}

void CourseModel::lessonChanged(const QString &lessonId, const QModelIndex &parent)
{
    for (int row = 0; row < rowCount(parent); ++row) {
        const QModelIndex index = this->index(row, 0, parent);
        const CourseTreeItem *item = itemAt(index);
        if (item && item->courseware() && item->courseware()->id == lessonId
            && item->level() == Courseware::Lesson)
            emit dataChanged(index, index.siblingAtColumn(ColumnCount - 1));
        lessonChanged(lessonId, index);
    }
}

namespace {

// How many of the lessons that can still be chosen under a node are checked, and of how many.
void countChoosable(const CourseTreeItem *node, int &checked, int &choosable)
{
    for (int row = 0; row < node->childCount(); ++row) {
        const CourseTreeItem *child = node->child(row);
        if (child->childCount() > 0) {
            countChoosable(child, checked, choosable);
        } else if (child->isCheckable()) {
            ++choosable;
            checked += child->isChecked() ? 1 : 0;
        }
    }
}

} // namespace

Qt::CheckState CourseModel::checkState(const CourseTreeItem *item)
{
    // A chapter or section shows what its lessons are: all, none or some of them checked.
    int checked = 0;
    int choosable = 0;
    countChoosable(item, checked, choosable);
    if (choosable == 0)
        return item->isChecked() ? Qt::Checked : Qt::Unchecked;
    if (checked == 0)
        return Qt::Unchecked;
    return checked == choosable ? Qt::Checked : Qt::PartiallyChecked;
}

bool CourseModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!setCheckedDown(index, value, role))
        return false;
    // The chapters and sections above show the new mix of their lessons.
    for (QModelIndex above = index.parent(); above.isValid(); above = above.parent())
        emit dataChanged(above, above, {Qt::CheckStateRole});
    return true;
}

bool CourseModel::setCheckedDown(const QModelIndex &index, const QVariant &value, int role)
{
    CourseTreeItem *item = itemAt(index);
    if (!item || role != Qt::CheckStateRole || index.column() != 0)
        return false;
    item->setChecked(value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    for (int row = 0; row < item->childCount(); ++row)
        setCheckedDown(this->index(row, 0, index), value, role);
    return true;
}

void CourseModel::refreshStates(const QModelIndex &parent)
{
    // Lessons just queued lose their box and show their state; nothing stays checked.
    const int rows = rowCount(parent);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex child = index(row, 0, parent);
        if (CourseTreeItem *item = itemAt(child))
            item->setChecked(false);
        refreshStates(child);
    }
    if (rows > 0)
        emit dataChanged(index(0, 0, parent), index(rows - 1, ColumnCount - 1, parent));
}

void CourseModel::setAllChecked(bool checked)
{
    m_root->setChecked(checked);
    const int value = checked ? Qt::Checked : Qt::Unchecked;
    for (int row = 0; row < m_root->childCount(); ++row)
        setData(index(row, 0), value, Qt::CheckStateRole);
}
