#pragma once

// A typical update run on a real host once for each of its host operations,
// with that operation failing, the drive vanishing just before it, or the
// volume running out of space just before it. Each host supplies its contract's
// rig, which writes and reads the instrument and the staging folder, with the
// faults added; the matrix checks that the program ends with an error report,
// that no installed file is lost or half-written, that the staging folder is
// untouched, and that one more fault-free run leaves the instrument exactly
// as one clean run does.

#include <map>
#include <string>
#include <vector>

#include "host_contract.h"

namespace velno::fault_test {

enum class Fault { kFail, kVanish, kFull };

// A "/"-separated path below the instrument's root or the staging folder;
// seconds since 1970.
struct SeedFile {
    std::string path;
    std::string content;
    long long seconds;
};

struct Seed {
    std::vector<std::string> folders;  // on the instrument, parents first
    std::vector<SeedFile> instrument;
    std::vector<SeedFile> staging;
    // What a clean run leaves otherwise on the instrument: files written,
    // folders made or given attributes, paths gone.
    std::vector<SeedFile> updated;
    std::vector<std::string> changed_folders;
    std::vector<std::string> gone;
};

const Seed& TypicalUpdate();

// Relative path -> what identifies an entry: content, time, attributes.
using Tree = std::map<std::string, std::string>;

// The host's rig of the contract, whose Drive() is here the instrument's
// root as the rig writes and reads it while detached, and whose App() is the
// folder the program runs from, the staging folder's parent.
class Rig : public host_test::HostRig {
public:
    // Why this host cannot show the fault, or empty text.
    virtual std::string Unsupported(Fault fault) = 0;
    // Empties the instrument and the staging folder; the instrument stays detached.
    virtual void Clear() = 0;
    // Makes the instrument available to the program (Linux: mounts it).
    virtual void Attach() = 0;
    // Ends any fault and makes the instrument readable to Instrument().
    virtual void Detach() = 0;
    // Makes the drive vanish or the volume full, now.
    virtual void Inject(Fault fault) = 0;
    // Every entry of the detached instrument.
    virtual Tree Instrument() = 0;
};

// What differs from a clean run of the typical update on an instrument that
// was as before: entries are "content@seconds" for a file and "" for a
// folder ("/" after its path), either followed by "#" and the attributes
// where the rig reads them. A copy keeps the staged time's odd seconds, or
// on a volume that cannot, takes the next even second.
std::string UpdateProblems(const Tree& before, const Tree& after, bool keeps_odd_seconds);

// Each path whose entry differs between the trees, with both entries.
std::string Differences(const Tree& expected, const Tree& actual);
// Entries after a failed run that are neither as before nor as after a
// clean run, and those gone that a clean run keeps, unless still where the
// clean run moves them from (an image not yet backed up).
std::string Losses(const Tree& before, const Tree& reference, const Tree& after);

// Runs every case the rig supports, prints one line with the counts and
// gives the number of cases run.
int RunFaultMatrix(Rig& rig, const std::string& host_name);

}  // namespace velno::fault_test
