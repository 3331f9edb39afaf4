#pragma once

#include "OleLog.h"

#include <QString>

#include <cstdint>
#include <functional>

class RegisterImage;
class StandLink;

// What the automation object works on: the main window's tag table and register image,
// the page-read fields of the poll cycle, the link flag and the window's visibility. The
// objects themselves keep no state.
class KalvexHost {
public:
    KalvexHost(StandLink& link, RegisterImage& image, const Settings& settings, const Clock& clock);

    // Requests a read of the tag's page; returns the name, or an empty text for an unknown tag.
    QString PageRequest(const QString& ATag);
    // The register image's word for the tag (its debug value in debug mode, logged); 0 when unknown.
    uint16_t GetValueByTagAsWord(const QString& ATag);
    void WriteOleLog(const QString& St) const { log_.WriteOleLog(St); }
    // Where a relative debug log name is taken from: the station directory.
    void setStationDir(const QString& dir) { log_.setBaseDir(dir); }

    bool debugMode() const;

    StandLink& link;
    RegisterImage& image;
    std::function<bool()> isWindowVisible;
    std::function<void(bool)> setWindowVisible;

private:
    const Settings& settings_;
    OleLog log_;
};
