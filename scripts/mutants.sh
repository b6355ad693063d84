#!/usr/bin/env bash
# Breaks the code on purpose, one fault at a time, and checks that the test
# suite fails for each: a suite that stays green over a fault would let it
# ship. Only the tests named for a fault run, which is enough to show that
# the suite fails and takes a fraction of the time. Works on copies of the
# working tree (committed or not), two faults at a time, so the checkout is
# never touched.
#
#   scripts/mutants.sh [NAME...]    (all faults when no name is given)
#
# Prints "caught" or "MISSED" per fault and exits 1 if any was missed.
set -euo pipefail
cd "$(dirname "$0")/.."

# name <TAB> file <TAB> text to replace (must occur exactly once) <TAB> replacement <TAB> the tests
# that catch it (a ctest -R expression): only they run, not the whole suite
faults=$(cat <<'EOF'
window-2046	src/codec/format.h	window = 2047;	window = 2046;	FindMatchExhaustive|EncodeExhaustive
run-cap-14	src/codec/match_finder.h	std::min(max_run, mf.npix - 1 - p)	std::min(max_run - 1, mf.npix - 1 - p)	MatchFinder
tie-largest-distance	src/codec/encoder.cpp	    if (j > best.count) {	    if (j >= best.count) {	FindMatchExhaustive|EncodeExhaustive
tie-fast-finder	src/codec/match_finder.cpp	const bool longer = j > best.count;	const bool longer = j >= best.count;	MatchFinder
last-pixel-counted	src/codec/encoder.cpp	p + j < npix - 1	p + j < npix	FindMatchExhaustive|EncodeExhaustive
last-pixel-fast	src/codec/match_finder.h	std::min(max_run, mf.npix - 1 - p)	std::min(max_run, mf.npix - p)	MatchFinder
code-switch-bit	src/codec/encoder.cpp	at.code_ptr[-2] |= code_switch;	;	EncodeExhaustive
final-literal-switch	src/codec/encoder.cpp	w.at.data_ptr[-2] |= literal_switch;	;	EncodeExhaustive
green-shift	src/codec/pixels.h	r << 11 | g << 6 | b	r << 11 | g << 5 | b	PixelWord|ReadPixels
long-form-shift	src/codec/container.cpp	(len >> 15) & 0xFE	(len >> 16) & 0xFE	ContainerHead
long-form-threshold	src/codec/container.cpp	code_len > short_form_max	code_len + 2 > short_form_max	ContainerHead
decoder-literal-bound	src/codec/decoder.cpp	if (n == capacity)	if (n > capacity)	Decode|DeviceDecode
decoder-code-bound	src/codec/decoder.cpp	capacity - n < count	capacity - n + 1 < count	Decode|DeviceDecode
decoder-distance-check	src/codec/decoder.cpp	if (dist > n)	if (dist > n + 1)	Decode|DeviceDecode
report-ratio	src/codec/converter.cpp	static_cast<double>(bytes) * 100.0	static_cast<double>(bytes + 2) * 100.0	Cli
part-meeting-point	src/codec/encoder.cpp	me.starts[recorded(me)] = {p, code_off, data_off, false};	me.starts[recorded(me)] = {p, code_off + 2, data_off, false};	EncodeParts
composite-rounding	src/packing/colour.cpp	bg * (255 - a) + 127) / 255	bg * (255 - a)) / 255	Colour
png-16-bit-strip	src/packing/read_png.cpp	(v * 255 + 32767) / 65535	v >> 8	Pack.EveryPng
stale-output-kept	src/packing/files.cpp	if (!kept(name) && !claimed(name)) remove_output(dir, name);	if (false) remove_output(dir, name);	Pack.AFailed
device-trailing-data	device/lz16dec.c	            return data == end ? (int32_t)n : LZ16_E_STRUCTURE;	            return (int32_t)n;	DeviceDecode
device-stream-distance	device/lz16dec.c	if (dist <= (size_t)(w - win)) {	if (dist <= (size_t)(w - win) + 1) {	Device\.Harness
device-stream-room	device/lz16dec.c	if (count > (size_t)(stop - w)) {	if (count > (size_t)(stop - w) + 1) {	Device\.Harness
device-stream-source-wrap	device/lz16dec.c	if (count > (size_t)(win + LZ16_WINDOW - src))	if (count > (size_t)(win + LZ16_WINDOW - src) + 1)	Device\.Harness
device-stream-rest	device/lz16dec.c	} while (--run && w != stop);	} while (--run && w != stop - 1);	Device\.Harness
device-skip-window	device/lz16dec.c	*o = out ? out + k : w,	*o = out ? out + k : win,	Device\.Harness
device-bgr565	device/lz16dec.c	((w) & 0x07C0u) | ((w) & 0x1Fu) << 11)	((w) & 0x07E0u) | ((w) & 0x1Fu) << 11)	Device\.Harness
device-rgb555	device/lz16dec.c	(((w) >> 1 & 0x7FE0u) | ((w) & 0x1Fu))	(((w) >> 1 & 0x7FE0u) | ((w) & 0x3Fu))	Device\.Harness
device-bgr555	device/lz16dec.c	((w) >> 1 & 0x03E0u)	((w) >> 1 & 0x07E0u)	Device\.Harness
device-order-swap	device/lz16dec.c	#define LZ16_SWAP(w) ((w) >> 8 | ((w) & 0xFFu) << 8)	#define LZ16_SWAP(w) ((w) >> 8 | ((w) & 0x7Fu) << 8)	Device\.Harness
c-array-alignment	src/packing/assets.cpp	__attribute__((aligned(4)))	__attribute__((aligned(1)))	Pack.LzIs
device-code-capacity	device/lz16dec.c	                if (capacity - n < count)	                if (capacity - n + 1 < count)	DeviceDecode
device-short-read-used	device/lz16dec.c	if (p->read_at(p->ctx, at, chunk, n) != (int32_t)n)	if (p->read_at(p->ctx, at, chunk, n) < 0)	Device\.Harness
device-draw-one-half	device/lz16dec.c	band = band == buf ? second : buf;	band = buf;	Device\.Harness
device-draw-partial-row	device/lz16dec.c	at != (y + done) * width ? LZ16_E_WIDTH	0 ? LZ16_E_WIDTH	Device\.Harness
device-draw-window-unskipped	device/lz16dec.c	(y + done + r) * width + x, row	(y + done + r) * width, row	Device\.Harness
device-backdrop-offset	device/lz16dec.c	under->width + under->x + x;	under->width + x;	Device\.Blend|DeviceBlend
device-swap-bytes	device/lz16dec.c	#define LZ16_SWITCH_BIT 0x2000u	#define LZ16_SWITCH_BIT 0x4000u	Device\.Harness
coded-trailing-bytes	src/codec/planes.cpp	return at != alpha.size() ? plane	return false ? plane	CodedPlanes|Masks
coded-repeat-unchecked	src/codec/planes.cpp	(s > coded_repeat && (!repeats || !seen))	(s > coded_repeat && !repeats)	CodedPlanes
device-coded-one-colour	device/lz16dec.c	const unsigned again = s->form & (LZ16_ONE_COLOUR | LZ16_MASK_FORM) ? LZ16_AGAIN : 0;	const unsigned again = s->form & LZ16_MASK_FORM ? LZ16_AGAIN : 0;	Device\.Blend
device-coded-repeat-word	device/lz16dec.c	const unsigned f_ = v_ & LZ16_AGAIN ? LZ16_LAST : *c++;	const unsigned f_ = *c++;	Device\.Blend
device-trusted-source-wrap	device/lz16dec.c	if ((to > from ? to : from) + count <= LZ16_WINDOW) {	if (to + count <= LZ16_WINDOW) {	Device\.Blend
device-trusted-wrap-copy	device/lz16dec.c	win[(to + k) & (LZ16_WINDOW - 1)] = win[(from + k) & (LZ16_WINDOW - 1)];	win[(to + k) & (LZ16_WINDOW - 1)] = win[(from + k + 1) & (LZ16_WINDOW - 1)];	Device\.Blend
device-one-colour-copy-level	device/lz16dec.c	*d = (uint16_t)(level == 31u ? last : lz16_blend(*d, last, level));	*d = (uint16_t)(level == 31u ? last : lz16_blend(*d, last, 31u - level));	Device\.Blend|Masks
device-coded-literal-32	device/lz16dec.c	if (t < top && t != LZ16_AGAIN) {	if (t < top) {	CodedPlanes
device-coded-copy-reach	device/lz16dec.c	                    if (!from || from > here) {	                    if (!from || from > here + 1) {	CodedPlanes
device-coded-run-past	device/lz16dec.c	                if (left > s->npix - here) {	                if (left > s->npix - here + 1) {	Masks
device-coded-fill-short	device/lz16dec.c	h[0] = h[1] = h[2] = h[3] = two;	h[0] = h[1] = h[2] = two;	Device\.Blend|Masks
device-coded-chunk-end	device/lz16dec.c	                    if (b_end && most > (uint32_t)(b_end - b))	                    if (0)	Device\.Blend|Masks
device-trusted-end	device/lz16dec.c	        return used != p->npix;	        return 0;	Device\.Blend
device-blend-one-multiply	device/lz16dec.c	((f - b) * a + (b << 5) + LZ16_HALF)	((f - b) * a + (b << 4) + LZ16_HALF)	Device\.Blend
device-coded-trailing	device/lz16dec.c	else if (a->data_end && (a->data != a->data_end ||	else if (a->data_end && (0 ||	CodedPlanes
mask-level-unchecked	src/codec/planes.cpp	if (levels[k] > alpha_max) return	if (false) return	Masks
device-mask-form-unchecked	device/lz16dec.c	(form == (int)LZ16_MASK) != (how == LZ16_AS_MASK)	0	Masks
device-mask-shows-none	device/lz16dec.c	(LZ16_ONE_COLOUR | LZ16_MASK_FORM)) == LZ16_ONE_COLOUR && !shown	(LZ16_ONE_COLOUR)) == LZ16_ONE_COLOUR && !shown	Masks
device-coded-literal-as-run	device/lz16dec.c	if (t < 0x40 || (t >= 0xC0	if ((t >= 0xC0	Masks
lvgl-mask-file-unseen	integrations/lvgl/lz16_lvgl.c	head[0] == 0xA5 && head[1] == 3	head[0] == 0xA5 && head[1] == 2	Lvgl\.Masks
lvgl-mask-row	integrations/lvgl/lz16_lvgl.c	read_row(s, NULL, row, w)	read_row(s, NULL, row + 1, w - 1)	Lvgl\.Masks
pack-mask-levels	src/packing/pack.cpp	asset.mask = options.mask;	asset.mask = false;	Pack\.AMask
device-recode-flip	device/lz16dec.c	const unsigned flip = red_high != 	const unsigned flip = red_high == 	Device\.Harness
arduino-avr-reads-ram	device/lz16dec.c	#if !defined(LZ16DEC_READ_BYTE) && defined(ARDUINO) && defined(__AVR__)	#if 0	Arduino
arduino-array-in-ram	src/packing/assets.cpp	"_ATTR PROGMEM\n#else	"_ATTR\n#else	Arduino
index-drops-last	src/packing/assets.cpp	for (const IndexEntry& entry : assets) {	for (const IndexEntry& entry : std::vector<IndexEntry>(assets.begin(), assets.end() - 1)) {	Pack.LzIs
round-tie-upper	src/packing/colour.cpp	2 * (widen5(level) + widen5(level + 1)) < q	2 * (widen5(level) + widen5(level + 1)) <= q	Colour
dither-exact-noise	src/packing/colour.cpp	if (widen5(level) == v) return level;	if (widen5(level) == v && threshold < 0) return level;	Colour
dither-off	src/packing/colour.cpp	table.level[r.dither ? bayer[y % 4][x % 4] : 0]	table.level[0]	Colour
key-alpha-128	src/packing/colour.cpp	if (key >= 0 && a < 128) {	if (key >= 0 && a <= 128) {	Colour
key-move-away	src/packing/colour.cpp	blue = blue >= 16 ? blue - 1 : blue + 1;	blue = blue >= 16 ? blue + 1 : blue - 1;	Colour
loss-alpha	src/packing/colour.cpp	    if (a >= 128) {	    if (a >= 127) {	Colour
preview-key-shown	src/packing/image_out.cpp	w = key && words[at] == *key ? board	w = false && words[at] == *key ? board	Pack.Preview
gif-transparent-drawn	src/packing/read_gif.cpp	if (index == gcb.TransparentColor) continue;	if (index == -2) continue;	Pack.LzIs|^Frames\.
gif-interlace-order	src/packing/read_gif.cpp	{{0, 8}, {4, 8}, {2, 4}, {1, 2}}	{{0, 8}, {2, 4}, {4, 8}, {1, 2}}	^Frames\.
gif-disposal-background	src/packing/read_gif.cpp	&canvas[4 * (y * width + right)], 0);	&canvas[4 * (y * width + right)], 255);	^Frames\.
gif-disposal-previous	src/packing/read_gif.cpp	      canvas.swap(before);	      before.swap(before);	^Frames\.
gif-delay-hundredths	src/packing/read_gif.cpp	static_cast<uint32_t>(gcb.DelayTime) * 10	static_cast<uint32_t>(gcb.DelayTime)	^Frames\.
frame-cut-rows	src/packing/frames.cpp	if (per_image > 1) {	if (per_image > 64) {	^Frames\.
frame-repeat-stored	src/packing/pack.cpp	} else if (first[k] != k) {	} else if (false) {	^Frames\.
frame-limit	src/packing/pack.cpp	return count > max_frames ?	return count > 2 * max_frames ?	Hostile.AFile
temp-files-kept	src/packing/files.cpp	for (const std::string& temp : temps.paths) unlink(temp.c_str());	;	Hostile.Interrupts
temp-leftover-kept	src/packing/files.cpp	unlink(temp.c_str());  // a leftover, if any	;  // a leftover, if any	Hostile.Interrupts
c-pair-unchecked	src/packing/assets.cpp	c_digest + "\n#error	c_digest + " && 0\n#error	Hostile.Concurrent
c-name-trigraph	src/packing/assets.cpp	stem.find("??")	stem.find("???")	Hostile.Names
png-size-unbounded	src/packing/read_png.cpp	> deflate_expansion * in.file.size()	> 1000000 * deflate_expansion * in.file.size()	Hostile.AFile
alpha-level-truncated	src/packing/colour.cpp	return channel_level(a, true, -1); }	return channel_level(a, false, -1); }	Colour
colour-plane-clear-pixels	src/codec/planes.cpp	    if (levels[k]) colour.push_back(words[k]);	    colour.push_back(words[k]);	Device\.Blend
planes-untagged	src/codec/planes.cpp	  if (size != colour_size) return	  if (false) return	CodedPlanes|Pack.LzIs
blend-factor	device/lz16dec.c	const uint32_t a = level + (level >> 4);	const uint32_t a = level;	Device\.Blend|DeviceBlend
blend-clear-touched	device/lz16dec.c	                if (level) {	                if (level || 1) {	Device\.Blend|DeviceBlend
blend-unrounded	device/lz16dec.c	((f - b) * a + (b << 5) + LZ16_HALF) >> 5	((f - b) * a + (b << 5)) >> 5	Device\.Blend|DeviceBlend
blend-pair-untagged	device/lz16dec.c	(!trusted && (LZ16_LEVEL1(first)	(0 && (LZ16_LEVEL1(first)	Device\.Blend|DeviceBlend
blend-colour-too-many	device/lz16dec.c	used != s->colour.npix ? 1 : lz16_plane_more	used != s->colour.npix ? 0 : lz16_plane_more	Device\.Blend|DeviceBlend
read-through-skipped	src/packing/image_in.cpp	if (in.mode != Read::pixels || kept_bytes <= allowance(in.file.size())) return "";	return "";	Hostile.AFile
index-frame-table	src/packing/assets.cpp	_FRAMES, " + id + "_frames, "	_FRAMES, " + id + "_frames + 1, "	Pack.LzIs
worst-psnr-highest	src/packing/report.cpp	psnr(r.loss) < psnr(inputs[*t.worst].result.loss)	psnr(r.loss) > psnr(inputs[*t.worst].result.loss)	Report.Json
json-outputs-bare	src/packing/report.cpp	outputs.push_back(output_path(options, name))	outputs.push_back(name)	Report.Json
budget-equal-fails	src/packing/report.cpp	t.bytes <= *options.budget	t.bytes < *options.budget	Report.Budget
page-picture-size	src/packing/report.cpp	"\" data-width=\"" + std::to_string(p.width)	"\" data-width=\"" + std::to_string(p.width + 1)	Report.Page
lvgl-swap-ignored	integrations/lvgl/lz16_lvgl.c	s->swap = dsc->header.cf == LV_COLOR_FORMAT_RGB565_SWAPPED;	s->swap = 0;	Lvgl
lvgl-never-restarts	integrations/lvgl/lz16_lvgl.c	if (target < s->at && stream_start(s) != 0) return 0;	if (target < s->at) return 0;	Lvgl
lvgl-band-past-area	integrations/lvgl/lz16_lvgl.c	area->y2 = LV_MIN(y1 + rows - 1, full->y2);	area->y2 = y1 + rows - 1;	Lvgl
lvgl-keeps-every-stream	integrations/lvgl/lz16_lvgl.c	while (kept != NULL && kept_bytes + bytes > LZ16_LVGL_KEEP_BYTES) {	while (0) {	Lvgl
lvgl-file-read-from-top	integrations/lvgl/lz16_lvgl.c	lv_fs_seek(file, offset, LV_FS_SEEK_SET)	lv_fs_seek(file, 0, LV_FS_SEEK_SET)	Lvgl
lvgl-frame-offset	src/packing/assets.cpp	"_alpha + " + std::to_string(f.alpha_offset)	"_alpha + " + std::to_string(0 * f.alpha_offset)	Lvgl
option-no-suggestion	src/cli/options.cpp	edits(name, candidate); n < fewest)	edits(name, candidate); n < 0 * fewest)	Report.Budget|Manifest
bytes-mega	src/cli/options.cpp	== 'k' ? 10 : 20, unit	== 'k' ? 10 : 10, unit	Report.Budget
untiled-last-only	src/packing/batch.cpp	untiled += (untiled.empty() ? "" : "; ")	untiled = ("")	^Frames\.
webp-delay-as-timestamp	src/packing/read_webp.cpp	delays.push_back(static_cast<uint32_t>(std::max(timestamp - previous, 0)));	delays.push_back(static_cast<uint32_t>(timestamp));	Pack.Webp
tga-raw-as-run	src/packing/read_tga.cpp	at += f[at] & 0x80 ? 1 + pixel : 1 + run * pixel;	at += 1 + pixel;	Pack.Webp|Readers.Tga
bmp-alpha-dropped	src/packing/read_bmp.cpp	img.channels = alpha.mask ? 4 : 3;	img.channels = 3;	Pack.Webp|Readers.Bmp
turn-90-source-column	src/packing/frames.cpp	const uint32_t sx = turn.degrees == 90 ? v :	const uint32_t sx = turn.degrees == 90 ? u :	^Frames\.
scale-unweighted	src/packing/frames.cpp	channels == 4 ? 3 : STBIR_ALPHA_CHANNEL_NONE	STBIR_ALPHA_CHANNEL_NONE	Scale
scale-gamma-space	src/packing/frames.cpp	STBIR_COLORSPACE_SRGB	STBIR_COLORSPACE_LINEAR	Scale
scale-nearest-rounds	src/packing/frames.cpp	uint64_t{x} * w / sw	(uint64_t{x} * w + sw / 2) / sw	Scale
fit-enlarges	src/packing/frames.cpp	scale.enlarge ? HUGE_VAL : 1.0	HUGE_VAL	Scale
fill-anchor-ignored	src/packing/frames.cpp	(sw - cw) * size_t{scale.anchor_x} / 2	(sw - cw) / 2	Scale
rerun-rewrites	src/packing/files.cpp	!placed.back() && holds(paths.back(), bytes)	false	Pack.ARerun
report-in-cwd	src/packing/files.cpp	path.find('/') != std::string::npos || out_dir == "." ? path	true ? path	Report
pixel-word-unswapped	device/lz16dec.h	LZ16_ORDERED_WORD((w) & 0xFFDFu) >> 8 | (LZ16_ORDERED_WORD((w) & 0xFFDFu) & 0xFFu) << 8	LZ16_ORDERED_WORD((w) & 0xFFDFu)	Device
preview-blend-unwidened	src/packing/image_out.cpp	const unsigned a = level + level / 16;	const unsigned a = level;	Device.Blend
report-zoom-per-picture	src/packing/report.cpp	p.full_width / std::max(p.panels, 1u)	p.full_width	Report.Page
trim-box-narrow	src/packing/frames.cpp	Box{x0, y0, x1 - x0 + 1, y1 - y0 + 1}	Box{x0, y0, x1 - x0, y1 - y0 + 1}	Pack.Trimmed
trim-key-ignored	src/packing/frames.cpp	levels.empty() ? key && words[at] == *key : levels[at] == 0	levels.empty() ? false : levels[at] == 0	Pack.Trimmed
manifest-no-override	src/cli/manifest.cpp	std::erase_if(args, [&](const auto& a) { return a.first == e.key; });	;	Manifest
manifest-paths-from-cwd	src/cli/manifest.cpp	return dir.empty() || fs::path(path).is_absolute() ? path : (dir / path).string();	return path;	Manifest
manifest-globs-directories	src/cli/manifest.cpp	!path.ends_with('/')	true	Manifest
manifest-asset-unchecked	src/cli/manifest.cpp	why = settle(asset.settings)	why = settle_values(asset.settings)	Manifest
manifest-value-at-asset	src/cli/manifest.cpp	!why.empty() || !(why = settle_values(scratch)).empty()	!why.empty()	Manifest
manifest-format-ignored	src/cli/driver.cpp	in.options = asset.settings.run.pack,	in.options = cli.run.pack,	Manifest
index-lvgl-lists-all	src/packing/assets.cpp	if (asset.format != AssetFormat::lvgl) continue;	if (false) continue;	Lvgl
bmp-palette-unchecked	src/packing/read_bmp.cpp	if (index >= palette.size())	if (index >= 256)	Hostile.AFile|Readers.Bmp
bmp-offset-in-headers	src/packing/read_bmp.cpp	if (offset < headers_end) return	if (false) return	Hostile.AFile|Readers.Bmp
bmp-top-down-flipped	src/packing/read_bmp.cpp	(top_down ? row : height - 1 - row)	(height - 1 - row)	Readers.Bmp
bmp-field-widened-low	src/packing/read_bmp.cpp	for (; have < 8; have += bits) out = out << bits | v;	for (; have < 8; have += bits) out = out << bits;	Readers.Bmp
tga-origin-ignored	src/packing/read_tga.cpp	const uint64_t y = top ? row : height - 1 - row	const uint64_t y = height - 1 - row	Readers.Tga
tga-right-to-left-ignored	src/packing/read_tga.cpp	x = right_to_left ? width - 1 - col : col;	x = col;	Readers.Tga
tga-map-first-ignored	src/packing/read_tga.cpp	(index - map_first) * entry	index * entry	Readers.Tga
tga-map-unchecked	src/packing/read_tga.cpp	if (index - map_first >= map_length)	if (false)	Hostile.AFile
qoi-operations-uncounted	src/packing/read_qoi.cpp	if (!holds(file, uint64_t{width} * height))	if (!holds(file, 0))	Hostile.AFile
webp-held-to-allowance	src/packing/read_webp.cpp	if (!banded) return too_large	if (false) return too_large	Hostile.AFile
webp-frames-uncounted	src/packing/read_webp.cpp	features.has_animation ? count_frames(in.file, in.limits.frames) : 1	1	ReadersOnFiles.TheFrameLimit
gif-frames-unlimited	src/packing/read_gif.cpp	admit(in, img, "GIF", width, height, delays.size() + 1, 0)	admit(in, img, "GIF", width, height, 1, 0)	ReadersOnFiles.TheFrameLimit
plan-glob-takes-own-output	src/packing/batch.cpp	return in.found_by_glob && own.contains	return false && own.contains	Manifest.AGlob
plan-outputs-may-meet	src/packing/batch.cpp	if (!fresh) return it->second.first	if (false) return it->second.first	Hostile.Outputs
plan-inputs-overwritten	src/packing/batch.cpp	for (const std::string& place : input_places(path))	for (const std::string& place : std::vector<std::string>())	Hostile.Outputs|Pack.AFailed
plan-frames-by-name	src/packing/batch.cpp	count_frames(info.width, info.height, info.frames(), in.options, in.frames);	in.frames = 1;	Hostile.Outputs
c-keyword-allowed	src/packing/assets.cpp	if (words.contains(name)) return true;	if (false) return true;	Hostile.Outputs
c-names-may-clash	src/packing/batch.cpp	!fresh && it->second != who)	!fresh && false)	Hostile.Outputs
c-stdint-width-allowed	src/packing/assets.cpp	return widths.contains(std::string(name));	return false;	Hostile.Outputs
file-name-nul	src/packing/files.cpp	if (name.find('\0') != std::string_view::npos) return	if (false) return	Manifest.ABad
frame-files-stale	src/packing/files.cpp	    if (!kept(name)) remove_output(dir, name);	    ;	^Frames\.
frames-sweep-any-size	src/packing/files.cpp	if (!n || (k && n != size)) break;	if (!n) break;	Hostile.AnInput
frames-sweep-lone-file	src/packing/files.cpp	if (frames.size() - start < 4)	if (frames.size() - start < 2)	Hostile.AnInput
frame-claim-ignored	src/packing/files.cpp	if (!kept(name) && !claimed(name)) remove_output(dir, name);	if (!kept(name)) remove_output(dir, name);	Hostile.AnInput
directory-lock-skipped	src/packing/files.cpp	while (flock(lock.fd, LOCK_EX) != 0)	while (false)	Hostile.Concurrent
fifo-replaced	src/packing/files.cpp	return stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)	return false && !S_ISREG(st.st_mode)	Hostile.Pipes|Hostile.ALink
link-written-through	src/packing/files.cpp	    placed.push_back(in_place(paths.back()));	    placed.push_back(in_place(paths.back()) || std::system(("test -L '" + paths.back() + "'").c_str()) == 0);	Hostile.ALink
sigpipe-kills	tools/lz16pack.cpp	  std::signal(SIGPIPE, SIG_IGN);	  ;	Hostile.Pipes
manifest-key-depth-unchecked	src/cli/manifest.cpp	if (const uint32_t line = line_of_deep_key(text))	if (const uint32_t line = 0)	Manifest
lvgl-kept-never-dropped	integrations/lvgl/lz16_lvgl.c	if (lv_event_get_code(e) == LV_EVENT_INVALIDATE_AREA) drop_kept	if (0) drop_kept	Lvgl
lvgl-kept-size-unchecked	integrations/lvgl/lz16_lvgl.c	planes->colour_size == s->colour_size &&	1 &&	Lvgl
EOF
)

work=$(mktemp -d /tmp/lz16-mutants.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Two shards, each with its own copy of the tree and build, run side by side:
# a fault rebuilds one source and runs a few tests, which keeps one core
# busy, so two at once take half the time on two cores.
# Without link-time optimisation a fault in one source rebuilds in a second,
# not in a dozen relinks of the whole program.
# With ccache (scripts/setup.sh --tests installs it), a file put back as it
# was is not compiled again, and the second shard's first build comes from
# the first's: its objects come from the cache of this run (paths taken
# relative to the shard, which the shards share).
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_DIR=$work/ccache CCACHE_MAXSIZE=2G CCACHE_BASEDIR=$work
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
shards=2
for ((k = 0; k < shards; ++k)); do
  mkdir -p "$work/$k/tree"
  git ls-files -co --exclude-standard -z | tar -cf - --null -T - | tar -xf - -C "$work/$k/tree"
  cmake -S "$work/$k/tree" -B "$work/$k/build" -DCMAKE_BUILD_TYPE=Release -DLZ16_LTO=OFF "${launcher[@]}" >/dev/null
  cmake --build "$work/$k/build" -j2 >/dev/null
done

# Runs the faults on stdin in shard $1's tree; prints a line each; exits with the number missed.
run_shard() {
  local at=$work/$1 missed=0 name file from to tests target started src result
  while IFS=$'\t' read -r name file from to tests; do
    # Only the program the named tests are in is rebuilt: the LVGL tests, or the rest.
    target=lz16_tests
    if [[ $tests == *Lvgl* ]]; then
      target=lz16_lvgl_tests
      if ! grep -q '^LZ16_LVGL_DIR:PATH=.' "$at/build/CMakeCache.txt"; then
        printf '%-24s %s\n' "$name" "skipped: no LVGL tree (set LZ16_LVGL_DIR)"
        continue
      fi
    fi
    started=$SECONDS
    src=$at/tree/$file
    cp "$src" "$at/saved"
    FROM=$from TO=$to perl -0pi -e '$n = () = /\Q$ENV{FROM}\E/g; die "matches $n times\n" if $n != 1;
                                    s/\Q$ENV{FROM}\E/$ENV{TO}/' "$src" || { echo "$name: cannot apply to $file"; exit 200; }
    if ! cmake --build "$at/build" -j2 --target "$target" >/dev/null 2>&1; then
      result="caught (does not build)"
    elif ctest --test-dir "$at/build" --stop-on-failure --timeout 300 --no-tests=error -R "$tests" >"$at/log" 2>&1; then
      result="MISSED"
      missed=$((missed + 1))
    elif grep -q "No tests were found" "$at/log"; then
      result="MISSED (no test matches '$tests')"
      missed=$((missed + 1))
    else
      result="caught by $(grep -m1 -oE '[A-Za-z0-9_]+\.[A-Za-z0-9_]+ \.+\*+(Failed|Timeout|Exception)' "$at/log" | cut -d' ' -f1)"
    fi
    printf '%-24s %s (%d s)\n' "$name" "$result" $((SECONDS - started))
    cp "$at/saved" "$src"
    touch "$src"
  done
  exit $((missed < 200 ? missed : 199))
}

# The faults asked for, a file's one after the other, and the files dealt
# to the shards in turn by their faults' count, the largest first.
chosen=$(while IFS=$'\t' read -r name rest; do
  if (($#)) && [[ " $* " != *" $name "* ]]; then continue; fi
  printf '%s\t%s\n' "$name" "$rest"
done <<< "$faults" | sort -t $'\t' -k2,2 -s)
deal=$(cut -f2 <<< "$chosen" | sort | uniq -c | sort -rn -k1,1 -k2,2 |
  awk -v n=$shards '{ best = 0; for (k = 1; k < n; ++k) if (load[k] < load[best]) best = k; load[best] += $1; print $2 "\t" best }')
for ((k = 1; k < shards; ++k)); do
  awk -F'\t' -v k=$k 'NR == FNR { shard[$1] = $2; next } shard[$2] == k' <(echo "$deal") <(echo "$chosen") |
    run_shard "$k" > "$work/$k.out" &
  pids[k]=$!
done
status=0
awk -F'\t' 'NR == FNR { shard[$1] = $2; next } shard[$2] == 0' <(echo "$deal") <(echo "$chosen") | run_shard 0 || status=$?
for ((k = 1; k < shards; ++k)); do
  wait "${pids[k]}" || status=$((status + $?))
  cat "$work/$k.out"
done
((status < 200)) || exit 2
((status == 0))
