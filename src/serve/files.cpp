// The files a run wrote, served read-only: a plain file of the folder under
// a name that KALP writes, never a link, whole or in the byte ranges that
// a Range header asks for, each within the file.
#include <algorithm>
#include <cerrno>
#include <cctype>
#include <memory>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "input/csv.h"
#include "platform/platform.h"
#include "report/catalogue.h"
#include "serve/session.h"
#include "textio/folder.h"

namespace kalp {

namespace {

// The most ranges of one request that are served; a request for more gets
// the whole file (as any Range header that the server does not take).
constexpr size_t mostranges = 16;

// Byte ranges of a file: the first byte and the number of bytes.
using Ranges = std::vector<std::pair<long long, long long>>;

// A whole number of at most 18 digits, or -1.
long long digits(const std::string& s) {
    if (s.empty() || s.size() > 18 || s.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoll(s);
}

} // namespace

bool byteranges(const std::vector<std::string>& headers, long long size, Ranges& out) {
    out.clear();
    if (headers.size() != 1) return false;
    std::string h = headers.front();
    std::transform(h.begin(), h.begin() + static_cast<long>(std::min<size_t>(h.size(), 6)), h.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (h.rfind("bytes=", 0) != 0) return false;
    Ranges wanted;
    for (size_t at = 6, asked = 1;; ++asked) {
        const size_t comma = h.find(',', at);
        const std::string range = trimmed(h.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
        const size_t dash = range.find('-');
        if (dash == std::string::npos || asked > mostranges) return false;
        const std::string a = range.substr(0, dash), b = range.substr(dash + 1);
        const long long first = digits(a), last = digits(b);
        if (a.empty()) {
            // The last `last` bytes.
            if (last < 0) return false;
            if (last > 0 && size > 0) wanted.emplace_back(std::max(0LL, size - last), std::min(last, size));
        } else {
            if (first < 0 || (!b.empty() && (last < 0 || last < first))) return false;
            if (first < size) wanted.emplace_back(first, (b.empty() ? size - 1 : std::min(last, size - 1)) - first + 1);
        }
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    out = std::move(wanted);
    return true;
}

void Server::Impl::file(const std::string& name, httplib::Response& res) const {
    const std::vector<std::string> outputs = outputnames();
    if (std::find(outputs.begin(), outputs.end(), name) == outputs.end()) {
        refuse(res, 404, "KALP writes no file called " + name + ".");
        return;
    }
    // KALP writes its files in place of whatever stood at their names, so
    // a link there is never one of them: it is not followed.
    if (folder->entry(name) == Entry::link) {
        refuse(res, 404, name + " in the folder is a symbolic link, which KALP never writes, so it is not served.");
        return;
    }
    // Only a plain file is served, opened without waiting on it.
    int error = 0;
    std::shared_ptr<platform::Reader> reader = platform::openreader(folder->path(name), error);
    if (!reader) {
        refuse(res, 404, error == ENOENT ? name + " is not in the folder: no run has written it yet."
                         : error == EISDIR || error == platform::notplain
                             ? name + " in the folder is not a plain file (it is a folder, a named "
                                      "pipe, a device or a socket), so it is not served."
                             : name + " cannot be read: " + platform::errortext(error) + ".");
        return;
    }
    const long long size = reader->size();
    const std::string type = mimetype(name);
    Ranges ranges;
    if (!byteranges(HttpServer::ranges(), size, ranges)) ranges = {{0, size}};
    else if (ranges.empty()) {
        refuse(res, 416, "The range asked for lies outside " + name + ", which holds " + std::to_string(size) +
                             " bytes.");
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    } else {
        res.status = 206;
    }
    // What is sent: the bytes of the file, and between the ranges of a
    // multipart answer the head of each part, which names the file's size.
    struct Piece {
        std::string text;           // sent as it is, or when empty:
        long long from = 0, length = 0; // these bytes of the file
        long long size() const { return text.empty() ? length : static_cast<long long>(text.size()); }
    };
    auto pieces = std::make_shared<std::vector<Piece>>();
    const auto range = [&](const std::pair<long long, long long>& r) {
        return "bytes " + std::to_string(r.first) + "-" + std::to_string(r.first + r.second - 1) + "/" +
               std::to_string(size);
    };
    std::string contenttype = type;
    if (ranges.size() == 1) {
        if (res.status == 206) res.set_header("Content-Range", range(ranges.front()));
        pieces->push_back({"", ranges.front().first, ranges.front().second});
    } else {
        const std::string boundary = "kalp-" + newtoken();
        contenttype = "multipart/byteranges; boundary=" + boundary;
        for (const auto& r : ranges) {
            std::string head = "--" + boundary;
            head.append("\r\nContent-Type: ").append(type).append("\r\nContent-Range: ").append(range(r));
            pieces->push_back({head + "\r\n\r\n", 0, 0});
            pieces->push_back({"", r.first, r.second});
            pieces->push_back({"\r\n", 0, 0});
        }
        pieces->push_back({"--" + boundary + "--\r\n", 0, 0});
    }
    const long long total = std::accumulate(pieces->begin(), pieces->end(), 0LL,
                                            [](long long sum, const Piece& p) { return sum + p.size(); });
    if (total == 0) {
        res.set_content("", contenttype);
        return;
    }
    // The file is sent as it is read, in pieces, whatever its size (a
    // sweep's CSV may hold gigabytes), and with its length given: the
    // library then does not compress it, which for a large file takes
    // far longer than sending it. A run that replaces the file meanwhile
    // leaves this one whole, as it renames a new file into place.
    res.set_content_provider(
        static_cast<size_t>(total), contenttype,
        [reader, pieces](size_t offset, size_t length, httplib::DataSink& sink) {
            auto at = static_cast<long long>(offset);
            for (const Piece& p : *pieces) {
                if (at >= p.size()) {
                    at -= p.size();
                    continue;
                }
                const size_t n = std::min(length, static_cast<size_t>(p.size() - at));
                if (!p.text.empty()) return sink.write(p.text.data() + at, n);
                char piece[1 << 16];
                const long long got = reader->readat(p.from + at, piece, std::min(n, sizeof piece));
                return got > 0 && sink.write(piece, static_cast<size_t>(got));
            }
            return false;
        });
}

} // namespace kalp
