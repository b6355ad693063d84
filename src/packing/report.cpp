#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <vector>

#include "converter.h"

namespace lz16 {

namespace {

uint64_t pixels_of(const PackResult& r) {
  return uint64_t{r.asset.width} * r.asset.height * r.asset.frames.size();
}

template <typename... Args>
std::string format(const char* pattern, Args... args) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

// The ratio as the report lines print it, without its percent sign.
std::string ratio_text(uint64_t bytes, uint64_t pixels) {
  return format("%.1f", compression_ratio(static_cast<int64_t>(bytes), static_cast<int64_t>(pixels)));
}

// The PSNR in dB as the report lines print it; nullopt where nothing was lost.
std::optional<std::string> psnr_text(const ColourLoss& loss) {
  const double db = psnr(loss);
  if (!loss.samples || std::isinf(db)) return std::nullopt;
  return format("%.2f", db);
}

// "PSNR 38.44 dB", or "PSNR inf" where nothing was lost.
std::string psnr_words(const ColourLoss& loss) {
  const std::optional<std::string> db = psnr_text(loss);
  return db ? "PSNR " + *db + " dB" : "PSNR inf";
}

std::string hex_colour(Rgb c) { return format("%02x%02x%02x", c.r, c.g, c.b); }

// Where an output lies, as the user named the directory.
std::string output_path(const RunOptions& options, const std::string& name) {
  const std::string& dir = options.pack.out_dir;
  return dir == "." ? name : dir + (dir.ends_with('/') ? "" : "/") + name;
}

// The frames part of a report line: ", N frames, S stored" or ", N frames joined".
std::string framing(const PackResult& r) {
  const std::string n = std::to_string(r.asset.frames.size());
  if (!r.asset.framed) return "";
  return r.asset.joined ? ", " + n + " frames joined" : ", " + n + " frames, " + std::to_string(stored_files(r.asset)) + " stored";
}

// ---- JSON -----------------------------------------------------------------

// Objects keep their members in the order they are added. Strings may hold
// any bytes (file names do): dump() writes each byte that is not part of
// valid UTF-8 as U+FFFD.
using Json = nlohmann::ordered_json;

std::string dump(const Json& json) { return json.dump(2, ' ', false, Json::error_handler_t::replace); }

// A figure of the report lines (a ratio, a PSNR) as a JSON number, null if none.
Json number(const std::optional<std::string>& text) { return text ? Json(std::strtod(text->c_str(), nullptr)) : Json(); }

Json string_or_null(const std::optional<std::string>& text) { return text ? Json(*text) : Json(); }

// "WxH" of a scale's box.
std::string size(const Scale& scale) { return std::to_string(scale.width) + "x" + std::to_string(scale.height); }

// The name of a fill's anchor.
std::string anchor_name(const Scale& scale) {
  for (const Anchor& a : anchors)
    if (a.x == scale.anchor_x && a.y == scale.anchor_y) return std::string(a.name);
  return "";
}

// An asset's options.
Json asset_options(const PackOptions& p) {
  const Scale& scale = p.scale;
  return {{"format", format_name(p.format)},
          {"background", hex_colour(p.reduction.background)},
          {"round", p.reduction.round},
          {"dither", p.reduction.dither},
          {"key", string_or_null(p.reduction.key ? std::optional(hex_colour(*p.reduction.key)) : std::nullopt)},
          {"alpha", p.reduction.alpha},
          {"mask", p.mask},
          {"frames", string_or_null(p.cut.width ? std::optional(std::to_string(p.cut.width) + "x" +
                                                                 std::to_string(p.cut.height))
                                                  : std::nullopt)},
          {"fit", string_or_null(scale.mode == Scale::Mode::fit ? std::optional(size(scale)) : std::nullopt)},
          {"enlarge", scale.enlarge},
          {"fill", string_or_null(scale.mode == Scale::Mode::fill ? std::optional(size(scale)) : std::nullopt)},
          {"anchor", string_or_null(scale.mode == Scale::Mode::fill ? std::optional(anchor_name(scale)) : std::nullopt)},
          {"resize", string_or_null(scale.mode == Scale::Mode::exact     ? std::optional(size(scale))
                                    : scale.mode == Scale::Mode::percent ? std::optional(std::to_string(scale.percent) + "%")
                                                                         : std::nullopt)},
          {"filter", scale.nearest ? "nearest" : "smooth"},
          {"rotate", p.turn.degrees},
          {"flip", string_or_null(p.turn.flip_h ? std::optional<std::string>("h")
                                  : p.turn.flip_v ? std::optional<std::string>("v")
                                                  : std::nullopt)},
          {"trim", p.trim},
          {"join_frames", p.join_frames},
          {"preview", p.preview}};
}

// The run's options.
Json run_options(const RunOptions& o) {
  Json options = {{"output", o.pack.out_dir}};
  options.update(asset_options(o.pack));
  options["index"] = o.index.empty() ? Json() : Json(o.index);
  options["budget"] = o.budget ? Json(*o.budget) : Json();
  return options;
}

// ---- HTML -----------------------------------------------------------------

std::string html(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string base64(std::string_view bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t k = 0; k < bytes.size(); k += 3) {
    uint32_t v = 0;
    for (size_t i = 0; i < 3; ++i) v = v << 8 | (k + i < bytes.size() ? static_cast<unsigned char>(bytes[k + i]) : 0);
    for (size_t i = 0; i < 4; ++i) out += i <= bytes.size() - k ? digits[v >> (18 - 6 * i) & 63] : '=';
  }
  return out;
}

// Page pixels a pixel of a picture takes, from the size of one of its
// panels, so that a source and its picture on the device of one size show
// at one scale: a small one enlarged by a whole factor, a large one to at
// most 512 page pixels.
double zoom(const PagePicture& p) {
  const uint32_t side = std::max({p.full_width / std::max(p.panels, 1u), p.full_height, 1u});
  return std::min<double>(std::clamp<uint32_t>(192 / side, 1, 8), 512.0 / side);
}

// A picture with its caption, each of its pixels zoom page pixels.
std::string figure(const PagePicture& p, const char* cls, const char* caption, const std::string& alt) {
  const auto size = [&](uint32_t full) { return std::to_string(std::max(1L, std::lround(full * zoom(p)))); };
  return "<figure class=\"" + std::string(cls) + "\"><img src=\"data:image/png;base64," + base64(p.png) +
         "\" width=\"" + size(p.full_width) + "\" height=\"" + size(p.full_height) +
         "\" data-width=\"" + std::to_string(p.width) + "\" data-height=\"" + std::to_string(p.height) + "\" alt=\"" +
         html(alt) + "\"><figcaption>" + caption + "</figcaption></figure>";
}

const char page_style[] =
    "body{font:14px/1.4 sans-serif;margin:24px;color:#222;background:#f6f6f4}"
    "h1{font-size:20px}h2{font-size:16px;margin-top:28px}h3{font-size:14px;margin:0 0 4px;word-break:break-all}"
    "table{border-collapse:collapse;background:#fff}th,td{padding:3px 10px;border-bottom:1px solid #ddd;"
    "text-align:right}th:first-child,td:first-child{text-align:left}"
    ".share{width:160px}.bar{height:10px;background:#3a7bd5}"
    ".asset{display:inline-block;vertical-align:top;margin:0 12px 12px 0;padding:10px;background:#fff;"
    "border:1px solid #ccc;border-radius:4px;max-width:100%}"
    ".pictures{display:flex;gap:12px;align-items:flex-start;overflow-x:auto}figure{margin:0}"
    "figcaption{font-size:12px;color:#666}img{display:block;image-rendering:pixelated}"
    ".source img{background:repeating-conic-gradient(#ccc 0 25%,#fff 0 50%) 0 0/16px 16px}"
    ".figures{margin:6px 0 0;color:#444}.failed li{color:#a00}.options code{background:#e8e8e4;padding:0 3px}";

}  // namespace

BatchTotals batch_totals(std::span<const PackedInput> inputs) {
  BatchTotals t;
  for (size_t k = 0; k < inputs.size(); ++k) {
    const PackResult& r = inputs[k].result;
    if (!r.error.empty()) {
      ++t.failed;
      continue;
    }
    ++t.images;
    t.bytes += r.bytes;
    t.pixels += pixels_of(r);
    if (r.loss.samples && (!t.worst || psnr(r.loss) < psnr(inputs[*t.worst].result.loss))) t.worst = k;
  }
  return t;
}

std::string one_line(std::string_view text) {
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != 0x7F)
      out += ch;
    else
      out += c == '\n' ? "\\n" : c == '\t' ? "\\t" : format("\\x%02x", c);
  }
  return out;
}

std::string report_line(const PackedInput& input) {
  const PackResult& r = input.result;
  std::string line = input.path + ": " + std::to_string(r.asset.width) + "x" + std::to_string(r.asset.height) +
                     framing(r) + ", " + std::to_string(r.bytes) + " bytes";
  if (r.alpha_bytes) line += " (" + std::to_string(r.alpha_bytes) + " of alpha)";
  line += ", " + ratio_text(r.bytes, pixels_of(r)) + "%";
  if (r.opaque) line += ", opaque";
  if (r.loss.samples) line += ", " + psnr_words(r.loss);
  if (input.options.reduction.key) line += ", " + std::to_string(r.moved) + " moved off the key";
  return line + ", verified";
}

std::string total_line(std::span<const PackedInput> inputs, const BatchTotals& t) {
  std::string line = "total: " + std::to_string(t.images) + " image" + (t.images == 1 ? "" : "s") + ", " +
                     std::to_string(t.bytes) + " bytes, " + ratio_text(t.bytes, t.pixels) + "%";
  if (t.worst) line += ", worst " + psnr_words(inputs[*t.worst].result.loss) + " (" + inputs[*t.worst].path + ")";
  return t.failed ? line + ", " + std::to_string(t.failed) + " failed" : line;
}

std::string budget_line(const BatchTotals& t, const RunOptions& options) {
  if (!options.budget || t.bytes <= *options.budget) return "";
  return "the assets take " + std::to_string(t.bytes) + " bytes, over the budget of " +
         std::to_string(*options.budget) + " bytes";
}

std::string report_json(std::span<const PackedInput> inputs, const BatchTotals& t, const RunOptions& options) {
  Json assets = Json::array();
  for (const PackedInput& in : inputs) {
    const PackResult& r = in.result;
    if (!r.error.empty()) {
      assets.push_back({{"input", in.path}, {"error", r.error}});
      continue;
    }
    Json asset = {{"input", in.path}, {"id", asset_id(in.stem)}};
    if (Json own = asset_options(in.options); own != asset_options(options.pack)) asset["options"] = std::move(own);
    Json outputs = Json::array();
    for (const std::string& name : r.outputs) outputs.push_back(output_path(options, name));
    asset.update({{"width", r.asset.width},
                  {"height", r.asset.height},
                  {"frames", r.asset.frames.size()},
                  {"stored", stored_files(r.asset)},
                  {"joined", r.asset.joined},
                  {"bytes", r.bytes},
                  {"alpha_bytes", r.alpha_bytes},
                  {"opaque", r.opaque},
                  {"ratio", number(ratio_text(r.bytes, pixels_of(r)))},
                  {"psnr", number(psnr_text(r.loss))},
                  {"moved", r.moved},
                  {"outputs", std::move(outputs)}});
    assets.push_back(std::move(asset));
  }
  const PackedInput* worst = t.worst ? &inputs[*t.worst] : nullptr;
  const Json total = {{"images", t.images},
                      {"failed", t.failed},
                      {"bytes", t.bytes},
                      {"ratio", number(ratio_text(t.bytes, t.pixels))},
                      {"worst_psnr", number(worst ? psnr_text(worst->result.loss) : std::nullopt)},
                      {"worst_input", string_or_null(worst ? std::optional(worst->path) : std::nullopt)},
                      {"over_budget", !budget_line(t, options).empty()}};
  return dump({{"options", run_options(options)}, {"assets", std::move(assets)}, {"total", total}}) + "\n";
}

std::string report_html(std::span<const PackedInput> inputs, const BatchTotals& t, const RunOptions& options) {
  const std::string summary = total_line(inputs, t).substr(7);  // after "total: "
  std::string s = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>lz16pack: " +
                  std::to_string(t.images) + " asset" + (t.images == 1 ? "" : "s") + "</title>\n<style>" + page_style +
                  "</style></head>\n<body>\n<h1>lz16pack: " + html(summary) + "</h1>\n";
  if (const std::string over = budget_line(t, options); !over.empty())
    s += "<p class=\"failed\">" + html(over) + "</p>\n";
  s += "<p class=\"options\">Options:";  // those given, strings unquoted
  const Json given = run_options(options);
  for (const auto& [name, value] : given.items()) {
    if (value.is_null() || value == false) continue;
    const std::string shown = value.is_string() ? value.get<std::string>() : value.dump();
    s += " <code>" + name + (value == true ? "" : " " + html(shown)) + "</code>";
  }
  s += "</p>\n";

  // The written assets, largest first (input order among equals), each a
  // bar in proportion to its share of the bytes.
  std::vector<size_t> order;
  for (size_t k = 0; k < inputs.size(); ++k)
    if (inputs[k].result.error.empty()) order.push_back(k);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return inputs[a].result.bytes > inputs[b].result.bytes; });
  // The key's column only where some asset has a key.
  const bool keys = std::any_of(inputs.begin(), inputs.end(), [](const PackedInput& in) {
    return in.result.error.empty() && in.options.reduction.key;
  });
  s += "<h2>Where the bytes go</h2>\n<table class=\"sizes\"><tr><th>asset</th><th>bytes</th><th class=\"share\">share"
       "</th><th>ratio</th><th>PSNR</th>" + std::string(keys ? "<th>moved off the key</th>" : "") + "</tr>\n";
  for (const size_t k : order) {
    const PackResult& r = inputs[k].result;
    const double share = t.bytes ? 100.0 * static_cast<double>(r.bytes) / static_cast<double>(t.bytes) : 0;
    s += "<tr><td><a href=\"#" + asset_id(inputs[k].stem) + "\">" + html(inputs[k].path) + "</a></td><td>" +
         std::to_string(r.bytes) + "</td><td class=\"share\"><div class=\"bar\" style=\"width:" +
         format("%.1f", share) + "%\"></div></td><td>" + ratio_text(r.bytes, pixels_of(r)) + "%</td><td>" +
         psnr_text(r.loss).value_or(r.loss.samples ? "inf" : "") + "</td>" +
         (keys ? "<td>" + std::to_string(r.moved) + "</td>" : "") + "</tr>\n";
  }
  s += "</table>\n";

  if (t.failed) {
    s += "<h2>Failed</h2>\n<ul class=\"failed\">\n";
    for (const PackedInput& in : inputs)
      if (!in.result.error.empty()) s += "<li><b>" + html(in.path) + "</b>: " + html(in.result.error) + "</li>\n";
    s += "</ul>\n";
  }

  s += "<h2>Assets</h2>\n";
  for (const PackedInput& in : inputs) {
    if (!in.result.error.empty()) continue;
    const PackResult& r = in.result;
    s += "<section class=\"asset\" id=\"" + asset_id(in.stem) + "\"><h3>" + html(in.path) +
         "</h3>\n<div class=\"pictures\">" + figure(r.source, "source", "source", in.path) +
         figure(r.shown, "shown", "on the device", in.path + " on the device") + "</div>\n<p class=\"figures\">" +
         html(report_line(in).substr(in.path.size() + 2)) + "</p></section>\n";
  }
  return s + "</body></html>\n";
}

}  // namespace lz16
