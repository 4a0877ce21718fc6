// Routes as other programs read them: xmllint checks that a GPX or KML file is well-formed
// XML and gives its points back.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
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

// Every number after `key="` in `text`.
inline std::vector<double> valuesOf(const std::string& text, const std::string& key) {
    std::vector<double> values;
    const std::string marker = key + "=\"";
    for (std::size_t at = text.find(marker); at != std::string::npos;
         at = text.find(marker, at + 1)) {
        values.push_back(std::stod(text.substr(at + marker.size())));
    }
    return values;
}

// The file's route as xmllint reads it: (latitude, longitude) of every GPX track point or
// KML coordinate.
inline std::vector<std::pair<double, double>> routeOf(const std::filesystem::path& file) {
    const std::string path = "'" + file.string() + "'";
    EXPECT_EQ(run("xmllint --noout " + path), "") << file;
    std::vector<std::pair<double, double>> points;
    if (file.extension() == ".gpx") {
        const auto lat =
            valuesOf(run("xmllint --xpath \"//*[local-name()='trkpt']/@lat\" " + path), "lat");
        const auto lon =
            valuesOf(run("xmllint --xpath \"//*[local-name()='trkpt']/@lon\" " + path), "lon");
        EXPECT_EQ(lat.size(), lon.size());
        for (std::size_t k = 0; k < lat.size() && k < lon.size(); ++k) {
            points.emplace_back(lat[k], lon[k]);
        }
        return points;
    }
    std::istringstream text(
        run("xmllint --xpath \"string(//*[local-name()='coordinates'])\" " + path));
    double lon = 0, lat = 0, height = 0;
    char comma = 0;
    while (text >> lon >> comma >> lat >> comma >> height) {
        points.emplace_back(lat, lon);
    }
    return points;
}

}  // namespace qelv::test
