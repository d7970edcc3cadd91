#pragma once

#include <QString>
#include <QUrl>

namespace twinfold {

// The marketing version this program was built as (the CMake project
// version), or "0.0.0" when the build defines none.
QString buildVersionString();

// Where the published version descriptor lives; fixed at build time.
QUrl defaultUpdateURL();

// The help page the window's Help menu opens; fixed at build time.
QUrl helpPageURL();

}  // namespace twinfold
