#pragma once

// Tags a service request and its reply.
enum RequestType {
    ReqPcUpdate = 0,
    ReqSessionId = 1,
    ReqLogin = 2, // also tags the sign-in and sign-out notifications
    ReqAvatar = 3,
    ReqRegister = 4,
    ReqChangePassword = 5,
    ReqMyCourseList = 6,
    ReqMyCourseInfo = 7,
    ReqPlayKeys = 8,
    ReqDownloadKeys = 9,
    ReqLearnStatus = 10,
    ReqWatchTime = 11,
};
