#pragma once

// The types the context menu offers to extract: exactly the types the program takes over on the
// desktop at its first start (a test holds the two equal), under the names or aliases the MIME
// database knows them by.
struct CArchiveMimeType {
    const char *name;
    bool extractOnly; // a single file of this type gets only the extract actions
};

inline const CArchiveMimeType archive_mime_types[] = {
    {"application/x-7z-compressed", true},
    {"application/x-archive", true},
    {"application/x-bzip", true},
    {"application/x-bzip-compressed-tar", true},
    {"application/vnd.ms-cab-compressed", true},
    {"application/x-cd-image", false},
    {"application/x-compressed-tar", true},
    {"application/x-cpio", true},
    {"application/x-gtar", false},
    {"application/x-gzip", true},
    {"application/x-lha", true},
    {"application/x-rar", true},
    {"application/x-rar-compressed", true},
    {"application/x-tar", false},
    {"application/x-xz", true},
    {"application/x-xz-compressed-tar", true},
    {"application/x-zstd-compressed-tar", true},
    {"application/x-zip", true},
    {"application/x-zip-compressed", true},
    {"application/zip", true},
    {"application/zstd", true},
    {nullptr, false},
};
