#pragma once
// The "OCR A Extended" font: whether it is installed, and installing it for
// the user.

#include "sysutil/win32errors.h"

#include <QString>

namespace repair {

extern const char* const kOcrFontFullName;  // "OCR A Extended"
extern const char* const kOcrFontFileName;  // "OCRAExtended.ttf"

// True when fontconfig knows a font whose full name is exactly the OCR font's,
// either installed on the machine or added to this process.
bool ocrFontInstalled();

// Copies the font file into the user's font folder ($XDG_DATA_HOME/fonts),
// makes it usable in this process at once and refreshes fontconfig's cache in
// the background. 0, kFileNotFound when the file is missing, kBadFormat when
// it is not a font, or the error of the copy.
win32::ErrorCode installFontFile(const QString& sourcePath);

// The user's font folder.
QString userFontDir();

}  // namespace repair
