#pragma once
// The discovery scan: couplers first, then the plain net, then each coupler's main and auxiliary
// branch, searching on each the chip families of the registry (ChipFamilies.h) in its order and filing
// one sensor object per device by its Type in the sensor tables. Each device is checked against the room
// of the table it goes into before it is filed, and a device the scan does not take (a full table, a
// second wind, rain or barometer device) is named in the log once per session. The scan logs through
// the station (SensorHost) and shows what it finds through a listener.
#include <cstdint>
#include <string>

namespace platform {
class TStringList;
class TTreeNode;
} // namespace platform

// What the scan shows while it runs. The station hangs the nodes in the main window's sensor tree and
// shows the rest on its splash.
class ScanListener {
public:
    virtual ~ScanListener() = default;

    virtual void Started() = 0;
    // A node for a coupler, a branch, a device or a role under `parent`; `object` is the sensor object
    // (null for a role that files none). Returns the node, for the nodes that hang from it.
    virtual platform::TTreeNode* AddNode(platform::TTreeNode* parent, const std::string& text, void* object,
                                         int image) = 0;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void Finished() = 0;
};

// Scans the net. The nodes hang under `root`.
void ScanMicrolan(ScanListener& listener, platform::TTreeNode* root);
// Names each configured serial of `missing` (up to an empty entry) that is of a kind the station reads.
void ReportMissingSerials(const platform::TStringList& missing);
// Switches the couplers off and frees every sensor object, each first telling the lines it held back.
void FreeSensors();

// The scan's place on the net while it searches one family, and what the role rules file with.
struct FamilyScan {
    ScanListener& listener;
    const uint16_t* couplerRom; // null on the plain net
    int branch;                 // 0 plain, 1 main, 2 aux
    platform::TTreeNode* branchNode;
    platform::TTreeNode*& windNode;    // the wind's node, once a wind sensor is filed
    platform::TTreeNode*& tai8570Node; // the TAI-8570's node, once one of its switches is found
    int filed = 0;                     // devices this search has taken

    // True when a table filled to `count` has room for one more; else the device is left out.
    bool Room(int count, int room, const std::string& family, const std::string& serial) const;
    template <class Table>
    bool Room(const Table& table, const std::string& family, const std::string& serial) const {
        return Room(table.Count(), table.Room(), family, serial);
    }
    // Logs a device the scan does not take; it counts as present, so it is not reported missing.
    void LeaveOut(const std::string& family, const std::string& serial, const std::string& reason) const;
    platform::TTreeNode* AddNode(platform::TTreeNode* parent, const std::string& text, void* object,
                                 int image) const;
};

// The images of the tree nodes.
namespace ScanImage {
inline constexpr int Wind = 1, Temperature = 3, Direction = 4, Humidity = 5, Rain = 6, Branch = 7,
                     Coupler = 8, MicroLAN = 10, Lightning = 11, WindSpeed = 12, Switch = 13, None = -1;
}
