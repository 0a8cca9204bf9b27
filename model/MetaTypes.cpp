#include "model/MetaTypes.h"

#include "model/Course.h"
#include "model/Courseware.h"
#include "model/HttpRequestContext.h"
#include "model/M3u8Context.h"

#include <QMetaType>

void registerMetaTypes()
{
    qRegisterMetaType<Course>("Course");
    qRegisterMetaType<Course *>("Course*");
    qRegisterMetaType<Courseware>("Courseware");
    qRegisterMetaType<Courseware *>("Courseware*");
    qRegisterMetaType<HttpRequestContext>("HttpRequestContext");
    qRegisterMetaType<M3u8Context>("M3u8Context");
}
