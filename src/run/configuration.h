// The configuration file beside the program (group "Global").
#pragma once

namespace veltrum {

// Reads the file at confPath into the settings and logs the "Init-" lines;
// a missing file is reported on the console only.
void readConfiguration();

// Closes the configuration file held open since readConfiguration.
void closeConfiguration();

}  // namespace veltrum
