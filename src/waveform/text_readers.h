// SPDX-License-Identifier: GPL-3.0-or-later
// Waveforms in text files written by instruments and by other programs:
//  - comma text (.csv): two columns "x,y", or the older instruments' five-column form
//    "label,value,unit,x,y," whose lines end in ","; newer instruments put metadata lines
//    ("Model,...", "Record Length,...", "TIME,CH1") before the data;
//  - tab text (.txt): the five-column form with tabs;
//  - x<TAB>y text with "," allowed as decimal point, loaded into a four-column file.
// x is read as seconds, y as volts.
#pragma once

#include <string>

#include "waveform/import_result.h"

namespace ktx {

class Notifier;
class ProgressSink;

ImportResult ReadCsv(const std::string& path, const std::string& target, Notifier& notifier,
                     ProgressSink& progress);
ImportResult ReadTxt(const std::string& path, const std::string& target, Notifier& notifier,
                     ProgressSink& progress);
// Four-column file, units "Px", "#", "#", "#"; y in column 0.
ImportResult ReadTabText(const std::string& path, const std::string& target, Notifier& notifier,
                         ProgressSink& progress);

}  // namespace ktx
