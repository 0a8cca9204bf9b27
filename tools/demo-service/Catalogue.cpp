#include "Catalogue.h"

#include <QCryptographicHash>

namespace {

LessonNode chapter(const QString &id, int number, const QString &title)
{
    return {id, QStringLiteral("zhang"), title, number, 0, QString(), QString()};
}

LessonNode section(const QString &id, int number, const QString &title)
{
    return {id, QStringLiteral("jie"), title, number, 0, QString(), QString()};
}

LessonNode lessonOf(const QString &id, int number, const QString &title, const ClipSpec &clip)
{
    const QString length = QStringLiteral("%1:%2")
                               .arg(clip.seconds / 60, 2, 10, QLatin1Char('0'))
                               .arg(clip.seconds % 60, 2, 10, QLatin1Char('0'));
    return {id, QStringLiteral("kejian"), title, number, 1, length, clip.name};
}

} // namespace

Catalogue::Catalogue(int demoLessonSeconds, int demoCourses)
{
    ClipSpec six{QStringLiteral("six"), 6, 1, 320, 180, 10, 440};
    ClipSpec twelve{QStringLiteral("twelve"), 12, 1, 320, 180, 10, 660};
    ClipSpec four{QStringLiteral("four"), 4, 2, 320, 180, 10, 880};
    m_quickClips = {six, twelve, four};
    // The long lesson for the demo: small and slow so it is made in a couple of seconds.
    m_demoClip = {QStringLiteral("demo"), demoLessonSeconds, 10, 320, 180, 10, 520};

    m_accounts = {
        {QString::fromLatin1(demoUsername),
         QString::fromLatin1(demoPassword),
         QStringLiteral("10001"),
         QStringLiteral("演示学员"),
         QStringLiteral("demo@lumra.example"),
         {QStringLiteral("101"), QStringLiteral("102"), QStringLiteral("103")}},
        {QStringLiteral("13900139000"),
         QStringLiteral("lumra2027"),
         QStringLiteral("10002"),
         QStringLiteral("备考学员"),
         QStringLiteral("student@lumra.example"),
         {QStringLiteral("101")}},
    };

    CourseEntry clinical{QStringLiteral("101"),
                         QStringLiteral("2026临床执业医师精讲班"),
                         QStringLiteral("cover-101.png"),
                         QStringLiteral("2026-12-31"),
                         QStringLiteral("2025-09-01"),
                         false,
                         QString(),
                         {}};
    clinical.nodes = {
        chapter(QStringLiteral("1011"), 1, QStringLiteral("心血管系统")),
        section(QStringLiteral("1012"), 1, QStringLiteral("心力衰竭")),
        lessonOf(QStringLiteral("1013"), 1, QStringLiteral("心力衰竭的病因与诱因"), six),
        lessonOf(QStringLiteral("1014"), 2, QStringLiteral("心力衰竭的临床表现"), twelve),
        section(QStringLiteral("1015"), 2, QStringLiteral("高血压")),
        lessonOf(QStringLiteral("1016"), 1, QStringLiteral("原发性高血压的诊断"), four),
        chapter(QStringLiteral("1017"), 2, QStringLiteral("呼吸系统")),
        lessonOf(QStringLiteral("1018"), 1, QStringLiteral("慢性阻塞性肺疾病"), six),
    };

    // Starts with a lesson that stands before any chapter.
    CourseEntry nursing{QStringLiteral("102"),
                        QStringLiteral("2026护士资格考试冲刺班"),
                        QStringLiteral("cover-102.png"),
                        QStringLiteral("2026-10-31"),
                        QStringLiteral("2025-10-15"),
                        false,
                        QString(),
                        {}};
    nursing.nodes = {
        lessonOf(QStringLiteral("1021"), 1, QStringLiteral("导学：如何使用本课程"), four),
        chapter(QStringLiteral("1022"), 1, QStringLiteral("基础护理学")),
        section(QStringLiteral("1023"), 1, QStringLiteral("生命体征的评估")),
        lessonOf(QStringLiteral("1024"), 1, QStringLiteral("体温、脉搏与呼吸（完整演示）"),
                 m_demoClip),
        lessonOf(QStringLiteral("1025"), 2, QStringLiteral("血压的测量"), twelve),
    };

    CourseEntry rural{QStringLiteral("103"),
                      QStringLiteral("2024乡村全科执业助理医师基础班"),
                      QStringLiteral("cover-103.jpg"),
                      QStringLiteral("2025-06-30"),
                      QStringLiteral("2024-03-01"),
                      true,
                      QStringLiteral("该课程已于2025-06-30到期，如需继续学习请联系客服续费。"),
                      {}};
    rural.nodes = {
        chapter(QStringLiteral("1031"), 1, QStringLiteral("全科医学概论")),
        lessonOf(QStringLiteral("1032"), 1, QStringLiteral("全科医学的基本原则"), six),
    };

    m_courses = {clinical, nursing, rural};
    addGeneratedCourses(demoCourses - m_courses.size(), six);
}

void Catalogue::addGeneratedCourses(int count, const ClipSpec &clip)
{
    static const QStringList subjects = {
        QStringLiteral("临床执业医师"), QStringLiteral("口腔执业医师"),
        QStringLiteral("中医执业医师"), QStringLiteral("护士资格"),
        QStringLiteral("药学专业知识"), QStringLiteral("公共卫生执业医师"),
    };
    static const QStringList kinds = {
        QStringLiteral("精讲班"),
        QStringLiteral("冲刺班"),
        QStringLiteral("真题解析班"),
        QStringLiteral("考点串讲与历年真题精选配套强化训练班（含模拟试卷）"),
    };
    static const QStringList covers = {QStringLiteral("cover-101.png"),
                                       QStringLiteral("cover-102.png"),
                                       QStringLiteral("cover-103.jpg")};
    Account &demo = m_accounts.first();
    for (int n = 0; n < count; ++n) {
        const QString id = QString::number(201 + n);
        const bool expired = n % 5 == 4;
        CourseEntry entry{
            id,
            QStringLiteral("%1%2%3")
                .arg(2026 - n % 3)
                .arg(subjects.at(n % subjects.size()), kinds.at(n % kinds.size())),
            covers.at(n % covers.size()),
            expired ? QStringLiteral("2025-06-30") : QStringLiteral("2026-12-31"),
            QStringLiteral("2025-09-01"),
            expired,
            expired ? QStringLiteral("该课程已于2025-06-30到期，如需继续学习请联系客服续费。")
                    : QString(),
            {}};
        entry.nodes = {
            chapter(id + QStringLiteral("1"), 1, QStringLiteral("第一章 总论")),
            lessonOf(id + QStringLiteral("2"), 1, QStringLiteral("导学"), clip),
        };
        m_courses << entry;
        demo.courseIds << id;
    }
}

const CourseEntry *Catalogue::course(const QString &id) const
{
    for (const CourseEntry &entry : m_courses) {
        if (entry.id == id)
            return &entry;
    }
    return nullptr;
}

const LessonNode *Catalogue::lesson(const QString &courseId, const QString &lessonId) const
{
    const CourseEntry *entry = course(courseId);
    if (!entry)
        return nullptr;
    for (const LessonNode &node : entry->nodes) {
        if (node.id == lessonId && node.type == QLatin1String("kejian"))
            return &node;
    }
    return nullptr;
}

const LessonNode *Catalogue::lessonById(const QString &lessonId) const
{
    for (const CourseEntry &entry : m_courses) {
        if (const LessonNode *node = lesson(entry.id, lessonId))
            return node;
    }
    return nullptr;
}

QString Catalogue::keysText(const QString &lessonId)
{
    const QByteArray digest =
        QCryptographicHash::hash("lumra-demo-keys|" + lessonId.toUtf8(), QCryptographicHash::Md5);
    // Base64 of 16 bytes always ends in "=="; the fixed part guarantees "+" and "/".
    return QStringLiteral("Lk+%1/").arg(lessonId) + QString::fromLatin1(digest.toBase64());
}

QByteArray Catalogue::cookieValue(const QString &lessonId)
{
    // Unreserved bytes stay, everything else becomes %XX in upper case.
    return keysText(lessonId).toUtf8().toPercentEncoding(QByteArray(), QByteArray(), '%');
}
