// SPDX-License-Identifier: GPL-3.0-or-later
// Identification texts of the simulated device families.
#include "sim_family.h"

namespace ktx::sim {

namespace {

struct Family {
    int type;
    const char* model;
    const char* firmware;  // the part of "*IDN?" after the model
};

// Firmware fields as the instruments of each family print them.
constexpr Family kFamilies[] = {
    {1, "TDS 210", "0,CF:91.1CT FV:v1.16 TDS2CM:CMV:v1.04"},
    {2, "TDS 380", "0,CF:91.1CT FV:v2.1e"},
    {9, "THS720P", "0,CF:91.1CT FV:v1.11"},
    {10, "TDS 3012", "0,CF:91.1CT FV:v3.41 TDS3FFT:v1.00 TDS3TRG:v1.00"},
    {12, "TDS 1012", "0,CF:91.1CT FV:v2.12 TDS2CM:CMV:v1.04"},
    {14, "DPO 2024", "C010123,CF:91.1CT FV:v1.52"},
    {19, "TDS 420", "0,CF:91.1CT FV:v1.0"},
    {20, "THS3014", "V1.05"},
    {30, "TPS 2024", "0,CF:91.1CT FV:v11.10"},
};

const Family& FamilyOf(int deviceType) {
    for (const Family& family : kFamilies) {
        if (family.type == deviceType) {
            return family;
        }
    }
    return kFamilies[0];
}

}  // namespace

std::string DefaultModel(int deviceType) {
    return FamilyOf(deviceType).model;
}

std::string ModelForName(int deviceType, const std::string& name) {
    const std::string model = DefaultModel(deviceType);
    if (name.empty() || name == "NONAME") {
        return model;
    }
    const std::size_t underscore = name.find('_');
    const bool accepted = underscore == std::string::npos
                              ? model.find(name) != std::string::npos
                              : model.find(name.substr(0, underscore)) != std::string::npos &&
                                    model.find(name.substr(underscore + 1)) != std::string::npos;
    if (accepted) {
        return model;
    }
    std::string spaced = name;
    for (char& c : spaced) {
        c = c == '_' ? ' ' : c;
    }
    return spaced;
}

SimIdentity ChooseIdentity(const SimChoice& user,
                           const std::optional<SelectedInstrument>& selected) {
    const bool typeChosen = user.type && !(*user.type == 1 && user.model.empty());
    SimIdentity identity;
    if (typeChosen) {
        identity.deviceType = static_cast<int>(*user.type);
    } else if (selected) {
        identity.deviceType = selected->deviceType;
    }
    if (!user.model.empty()) {
        identity.model = user.model;
    } else if (selected && selected->deviceType == identity.deviceType) {
        identity.model = ModelForName(identity.deviceType, selected->name);
    }
    return identity;
}

std::optional<std::string> IdentificationAnswer(int deviceType, const std::string& model) {
    if (deviceType == 19 || deviceType == 20) {
        return std::nullopt;  // these answer only their own presence checks
    }
    return "TEKTRONIX," + model + "," + FamilyOf(deviceType).firmware;
}

std::string LegacyIdAnswer(const std::string& model) {
    return "ID TEK/" + model + ",CF:91.1CT,FV:v1.16";
}

std::optional<std::string> HandheldVersionAnswer(int deviceType, const std::string& model) {
    if (deviceType != 20) {
        return std::nullopt;
    }
    return model + " " + FamilyOf(20).firmware;
}

std::optional<std::string> CommunicationAnswer(int deviceType) {
    if (deviceType != 30) {
        return std::nullopt;
    }
    return std::string("ON..");
}

bool HasMeterMode(int deviceType) {
    return deviceType == 9;
}

}  // namespace ktx::sim
