#pragma once

// The folder whose mtmp the program updates from. It stands in for the
// program's own folder (the host's ApplicationFolder): the program in /usr/bin
// of an installed package never lies beside an update.

#include <QStringList>
#include <functional>
#include <optional>
#include <string>

namespace velno::qt {

// arguments: the program's, without its name, at most one. The one argument
// names the folder that holds the update's mtmp (relative to the working
// folder; naming the mtmp folder itself names its parent). Without one: empty
// (the program's own folder) where own_folder holds an mtmp folder, otherwise
// the folder the user picks in the desktop's folder chooser, which starts in
// the user's downloads. nullopt: the user cancelled the chooser.
// holds_update tells whether a folder holds an mtmp folder.
std::optional<std::string> UpdateFolder(const QStringList& arguments,
                                        const std::function<bool(const std::string&)>& holds_update,
                                        const std::string& own_folder);

}  // namespace velno::qt
