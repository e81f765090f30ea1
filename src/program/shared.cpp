#include "program/shared.h"

#include <algorithm>
#include <string_view>

namespace kalp {

bool Every::due() {
    const auto now = std::chrono::steady_clock::now();
    if (now < next) return false;
    next = now + std::chrono::seconds(1);
    return true;
}

void Exports::add(OutputFile&& f) {
    f.close();
    files.push_back(std::move(f));
}

void Exports::add(const char* name, const std::string& text) {
    OutputFile f(folder, name);
    f.write(text);
    add(std::move(f));
}

std::vector<OutputFile*> Exports::all() {
    std::vector<OutputFile*> v(files.size());
    std::transform(files.begin(), files.end(), v.begin(), [](OutputFile& f) { return &f; });
    return v;
}

std::vector<Removal> Exports::stale() const {
    std::vector<Removal> v;
    for (const std::string& name : exportnames(sweep))
        if (std::none_of(files.begin(), files.end(), [&](const OutputFile& f) { return f.name() == name; }))
            v.push_back({&folder, name});
    return v;
}

std::string Exports::announce() const {
    std::string s;
    for (const OutputFile& f : files)
        s += "The file " + f.name() + " holds " + outputholds(f.name()) + ".\n";
    return s;
}

bool writechunk(const OutputFile& file, const std::string& text, const char* separator, bool first) {
    const size_t skip = std::string(separator).size();
    if (first && text.size() >= skip) {
        file.write(std::string_view(text).substr(skip));
        return false;
    }
    file.write(text);
    return first;
}

void warn(Console& console, const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings)
        console.warn("kalp: " + w + "\n");
}

std::unique_ptr<MemoryFolder> intomemory(const Folder& files) {
    auto texts = std::make_unique<MemoryFolder>();
    texts->setrecording(false);
    for (const std::string& name : inputnames()) {
        std::string text;
        int error = 0;
        if (files.read(name, text, error)) texts->set(name, std::move(text));
    }
    return texts;
}

} // namespace kalp
