// SPDX-License-Identifier: GPL-3.0-or-later
// Texts of instrument definition files and instrument answers for display: the files are
// 8-bit (Latin-1) text, but one edited on a UTF-8 system holds UTF-8; either shows right.
#pragma once

#include <QString>
#include <string>

namespace ktx {

QString DefinitionText(const std::string& bytes);

}  // namespace ktx
