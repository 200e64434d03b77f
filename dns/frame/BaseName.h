// The file name part of a build path, as the version banner shows it.
#pragma once

// What follows the last "/" or "\"; a ":" (a drive) counts as a separator only before any
// slash. The whole path when there is no separator.
const wchar_t* SourceBaseName(const wchar_t* path);
