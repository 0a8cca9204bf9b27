#pragma once

#include <QString>

class DemoClient;
struct Courseware;

// Compares a downloaded lesson folder with what the demo service serves: every segment
// named by the served playlist must be on disk with the same bytes, and no ".part" file
// may be left. Returns an empty text when they agree, else what differs.
QString compareWithServed(DemoClient &client, Courseware lesson, const QString &folder);
