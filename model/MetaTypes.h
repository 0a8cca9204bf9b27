#pragma once

// Registers the records under the names the queued signals and QVariants use:
// "Course", "Course*", "Courseware", "Courseware*", "HttpRequestContext", "M3u8Context".
// Safe to call more than once.
void registerMetaTypes();
