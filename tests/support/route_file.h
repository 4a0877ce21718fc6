// Routes as other programs read them: xmllint checks that a GPX or KML file is well-formed
// XML and gives its points back.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <vector>

namespace qelv::test {

// The command's standard output and error, or "failed: " and them when it exits with an error.
inline std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char chunk[4096];
    for (std::size_t n; pipe != nullptr && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        out.append(chunk, n);
    }
    const int status = pipe == nullptr ? -1 : pclose(pipe);
    return status == 0 ? out : "failed: " + out;
}

// The file's route as xmllint reads it: (latitude, longitude) of every GPX track point or
// KML coordinate.
inline std::vector<std::pair<double, double>> routeOf(const std::filesystem::path& file) {
    const std::string path = "'" + file.string() + "'";
    EXPECT_EQ(run("xmllint --noout " + path), "") << file;
    const bool gpx = file.extension() == ".gpx";
    // GPX: ' lat="37.1" lon="126.1"' per point; KML: "126.1,37.1,0" per point.
    std::string text =
        run(gpx ? "xmllint --xpath \"//*[local-name()='trkpt']/@*\" " + path
                : "xmllint --xpath \"string(//*[local-name()='coordinates'])\" " + path);
    for (char& c : text) {
        c = std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' ? c : ' ';
    }
    std::istringstream numbers(text);
    std::vector<std::pair<double, double>> points;
    double first = 0, second = 0, height = 0;
    while (numbers >> first >> second && (gpx || numbers >> height)) {
        points.emplace_back(gpx ? first : second, gpx ? second : first);
    }
    return points;
}

}  // namespace qelv::test
