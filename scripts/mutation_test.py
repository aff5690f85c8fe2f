#!/usr/bin/env python3
"""Breaks the product on purpose, one small fault at a time, and records which
tests notice. It measures what the suite catches, and which test files catch a
fault that no other file catches (the ones that earn their place).

    python3 scripts/mutation_test.py [--preset linux|windows] [--skip REGEX] [--exclude REGEX]
                                     [--only ID ...] [--json OUT]
    python3 scripts/mutation_test.py --check    # every snippet still stands once

Each mutant is a snippet of product code and its replacement (a flipped
comparison, a dropped line, a wrong constant), found by its text wherever it
lives. For every mutant the script edits the file, rebuilds the preset's build
folder, runs ctest (every test but those whose labels match --skip, by default
the long run), records the tests that failed, and puts the file back. The
Windows mutants (files ending in _win32.cpp) run with --preset windows, under
Wine; the others with --preset linux. A mutant whose build fails is reported as
such and counts for nothing. A snippet that no longer stands exactly once (the
code moved on) stops the script before anything is built: the mutant must follow
the code.
"""

import argparse
import json
import os
import re
import signal
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRODUCT = ("src", "searchd", "launcher")

# (id, snippet, replacement). Each snippet must stand exactly once in the product.
MUTANTS = [
    # text: bounded texts and files
    ("text-store-cut", "if (length < static_cast<int>(source.size())) length = "
     "CharacterBoundaryCut(source, capacity);", ""),
    ("text-find-start", "const size_t found = text.find(pattern, static_cast<size_t>(start - 1));",
     "const size_t found = text.find(pattern, static_cast<size_t>(start));"),
    ("text-mid-negative", "if (count < 0) count = length - start + 1;", "if (count < 0) count = 0;"),
    ("text-trim-tab", "bool IsBlank(char c) { return c == ' ' || c == '\\t'; }",
     "bool IsBlank(char c) { return c == ' '; }"),
    ("text-number-space", 'std::snprintf(buffer, sizeof buffer, " %d", static_cast<int>(whole));',
     'std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(whole));'),
    ("text-lower-latin1", "if (next <= 0x9E && next != 0x97) lower[i + 1] = "
     "static_cast<char>(next + 0x20);", ""),
    ("text-utf8-cut", "if (lead >= 0xC0) return back;", "if (lead >= 0xC0) return cut;"),
    ("file-crlf", "if (file.blockPos < file.blockFill && file.block[file.blockPos] == '\\n') "
     "++file.blockPos;", ""),
    ("file-atend", "return size < 0 || LogicalPosition(file) >= size;",
     "return size < 0 || LogicalPosition(file) > size;"),
    ("file-write-crlf", 'line.append("\\r\\n");', 'line.append("\\n");'),
    ("file-open-mode", 'if (mode == "r" || mode == "R") {', 'if (mode == "r") {'),
    ("file-hasline-start", "const bool startsLine = at == 0 ? lineStartBefore : "
     "IsLineEndByte(bytes[at - 1]);", "const bool startsLine = true;"),
    ("file-hasline-nul", "IsLineEndByte(bytes[after]) || bytes[after] == '\\0';",
     "IsLineEndByte(bytes[after]);"),
    ("file-hasline-carry", "lineStartBefore = IsLineEndByte(bytes[size - n - 1]);",
     "lineStartBefore = true;"),
    ("file-empty-line", "if (got <= 0) return !anyByte;", "if (got <= 0) return false;"),
    ("file-device", "if (!IsRegularFile(fd)) {", "if (false) {"),
    ("file-undo-partial", "if (done > 0) UndoPartialWrite(fd, start, done);", ""),
    ("file-undo-partial-win32", "if (atEnd) UndoPartialWrite(file, start);",
     "if (atEnd && done < 0) UndoPartialWrite(file, start);"),
    # core: state record, debug log
    ("log-prefix", 'line += "] ";', 'line += "]";'),
    ("log-escape-lf", 'out += "\\\\n";', "out += c;"),
    # query: input words, search words, download
    ("words-separator", "for (size_t at = 0; at <= lowered.size(); ++at) {",
     "for (size_t at = 0; at < lowered.size(); ++at) {"),
    ("words-cleared-slots", "constexpr int kClearedWordSlots = 30;",
     "constexpr int kClearedWordSlots = 29;"),
    ("words-bad-word", 'if (answer != WordListAnswer::kListed) SetControlText(kStatusBar, "bad word");',
     ""),
    ("words-missing-box", 'ShowMessageBox(kWordListError, "sub DisectInput", 0);', ""),
    ("words-table-full", "std::min(static_cast<int>(words.size()), kLastWordSlot);",
     "static_cast<int>(words.size());"),
    ("query-two-words", "if (wordCount > 2) {", "if (wordCount > 1) {"),
    ("query-fit-word-start", "if (at == 1 || words[at - 2] == ' ') start = at - 1;",
     "start = at - 1;"),
    ("query-fit-escaped", "used += HasUrlMeaning(words[at - 1]) ? 3 : 1;", "++used;"),
    ("query-escape-percent", "return c == '&' || c == '+' || c == '%' || c == '#';",
     "return c == '&' || c == '+' || c == '#';"),
    ("query-trim-input", "TextCopy(scratch, TextTrimLeft(scratch));", ""),
    ("download-keep-running", "    Story.KeepRunning = 0;\n    return;", "    return;"),
    ("download-probe", 'const bool readable = FileOpen(probe, target, "r") == 0;',
     "const bool readable = true;"),
    ("curl-status", "status >= 200 && status < 300;", "status >= 200 && status < 400;"),
    ("curl-size-limit", "if (sink->written + static_cast<long long>(bytes) > sink->limit ||",
     "if (false ||"),
    ("curl-stall", "return now - watch->lastReceived >= watch->limit ? 1 : 0;", "return 0;"),
    ("win32-stall", "const ULONGLONG until = std::min(deadline, attempt.lastReceived + stall);",
     "const ULONGLONG until = std::min(deadline, deadline + stall);"),
    ("curl-rename", "return temporary.RenameTo(std::string(path)) ? 0 : kDownloadFailed;",
     "temporary.RenameTo(std::string(path));\n  return 0;"),
    ("escape-space", "if (c <= 0x20 || c >= 0x7F) return true;",
     "if (c < 0x20 || c >= 0x7F) return true;"),
    ("escape-percent", "escapes == Escapes::kKeep && c == '%' && i + 2 < text.size() &&\n"
     "                         IsHexDigit(text[i + 1]) && IsHexDigit(text[i + 2]);",
     "escapes == Escapes::kKeep && c == '%' && IsHexDigit('0');"),
    ("search-host-slash", "host.pop_back();  // \"http://h:1/\" reads as \"http://h:1\"", ""),
    # analysis: scan, count, choose, record
    ("scan-walk-steps", "constexpr int kLastWalkStep = 200;", "constexpr int kLastWalkStep = 199;"),
    ("scan-shortest", "constexpr int kShortestCandidate = 3;",
     "constexpr int kShortestCandidate = 4;"),
    ("scan-tag", "if (c == '<') inTag = true;", ""),
    ("scan-stop", "if (c == '.') stop = true;", ""),
    ("scan-first-char", "if (k >= 1) {", "if (k >= 0) {"),
    ("scan-nbsp", "if (nbsp > 0)\n    candidate = ", "if (false)\n    candidate = "),
    ("scan-per-line", "inline constexpr int kMaxOccurrencesPerLine = 101;",
     "inline constexpr int kMaxOccurrencesPerLine = 100;"),
    ("count-full", "if (table.nextFree > kCandidateEntries) return;",
     "if (table.nextFree >= kCandidateEntries) return;"),
    ("choose-strict", "if (table.count[entry] <= choice.bestCount) continue;",
     "if (table.count[entry] < choice.bestCount) continue;"),
    ("choose-history", "if (UsedRecently(history, table.text[entry])) {",
     "if (UsedRecently(history, table.text[entry]) && false) {"),
    ("choose-fallback-and", 'if (next.empty()) next = "and";', ""),
    ("record-split", "constexpr int kSplitSearchStart = 80;", "constexpr int kSplitSearchStart = 81;"),
    ("record-ring", "return next > kLastHistorySlot || next < kFirstHistorySlot ? kFirstHistorySlot "
     ": next;", "return next > kLastHistorySlot ? 0 : next;"),
    ("record-file", "FileWriteLine(file, line) == static_cast<int>(line.size()) + 2;",
     "FileWriteLine(file, line) >= 0;"),
    ("record-write-failure", "if (!AppendStoryLine(Story.WorkFile, DataFiles.storyFile, choice)) "
     "Report(kStoryFileError);", "AppendStoryLine(Story.WorkFile, DataFiles.storyFile, choice);"),
    # app: events and the cycle
    ("cycle-go-rearm", "constexpr int kGoRearmMs = 3000;", "constexpr int kGoRearmMs = 2000;"),
    ("cycle-timer-rearm", "constexpr int kTimerRearmMs = 2000;", "constexpr int kTimerRearmMs = 3000;"),
    ("cycle-go-empty", 'if (!TextEquals(Story.InputText, "")) {',
     'if (!TextEquals(TextTrimRight(Story.InputText), "")) {'),
    ("cycle-go-clear-box", 'SetControlText(kInputBox, "");', ""),
    ("cycle-enable-go", "  EnableControl(kGoButton, 1);\n  });", "  });"),
    ("cycle-nested-stop", "if (pathUnderWay) stopDuringPath = true;", ""),
    ("cycle-close", "Story.WindowOpen = 0;", ""),
    ("cycle-enter", "event.NotifyCode == kEnterNotify) {", "event.NotifyCode == kTabNotify) {"),
    ("startup-notify", "SetNotifySwitches(kInputBox, 0, 1);", "SetNotifySwitches(kInputBox, 1, 1);"),
    ("startup-status", 'CreateControl(kStatusKind, "Status...", 0, 0, 0, 0, 0, kStatusBar);',
     'CreateControl(kStatusKind, "", 0, 0, 0, 0, 0, kStatusBar);'),
    # the search service
    ("search-page-cap", "if (bytes <= kMaxHitBytes) ++fitting;", "++fitting;"),
    ("search-phrase-shape", "strings.push_back(quoted(i, i + 1));", "strings.push_back(quoted(i + 1, i + 1));"),
    ("search-spread", "return FitOnPage(Spread(reader, ids, std::clamp<std::size_t>(fitting, 1, limit)));",
     "hits.resize(limit);\n  return FitOnPage(std::move(hits));"),
    ("search-spread-rounds", "if (hit->id < slice.last) stillOpen.push_back({hit->id + 1, slice.last});",
     "(void)stillOpen;"),
    ("search-spread-of-slice", "id != candidates.end() && *id <= slice.last; ++id) {",
     "id != candidates.end(); ++id) {"),
    ("search-unicode-break", "return kBreakRanges[low].first <= c && c <= kBreakRanges[low].last;",
     "return false;"),
    ("search-one-blank", "lowerText.begin() + static_cast<std::ptrdiff_t>(span.offset), IsSpace);",
     "lowerText.begin() + static_cast<std::ptrdiff_t>(span.offset), [](char) { return true; });"),
    ("search-decode-plus", "      out.push_back(' ');", "      out.push_back('+');"),
    ("search-escape-amp", 'out += "&amp;";', "out.push_back(c);"),
    ("search-404", 'if ((method != "GET" && method != "HEAD") || target.substr(0, question) != '
     '"/search")', "if (false)"),
    ("search-incremental", "if (row.stamp != file) {", "if (false) {"),
    ("search-404-path", 'target.substr(0, question) != "/search")',
     '!target.starts_with("/search"))'),
    ("search-read-timeout", "constexpr auto kReadTimeout = std::chrono::seconds(5);",
     "constexpr auto kReadTimeout = std::chrono::seconds(60);"),
    ("search-port-range", "const auto port = ParseNumber(value, 0, 65535);",
     "const auto port = ParseNumber(value, 0, 65536);"),
    ("search-win32-reason", 'case WSAEADDRINUSE:\n      return "Address already in use";',
     "case WSAEADDRINUSE:\n      return text;"),
    ("search-title-escape", "block += EscapeHtmlText(hit.title);", "block += hit.title;"),
    ("search-attr-quote", 'out += quotes ? "&quot;" : "\\"";', 'out += quotes ? "\\"" : "\\"";'),
    ("search-first-q", 'if (*key == "q" && !haveQ) {', 'if (*key == "q") {'),
    ("search-query-length", "if (rawQuery.size() > kMaxQueryBytes) {",
     "if (rawQuery.size() >= kMaxQueryBytes) {"),
    ("search-last-site", "terms.site = term.substr(5);",
     "if (terms.site.empty()) terms.site = term.substr(5);"),
    ("search-foreign-file", "if (header.kind == IndexHeader::Kind::kForeign ||", "if (false ||"),
    ("search-index-folder", "if (!fs::create_directories(folder, ec) && !fs::is_directory(folder)) {",
     "if (!fs::is_directory(folder)) {"),
    ("search-page-checksum", "      state.damaged = true;\n      return SQLITE_IOERR_DATA;",
     "      state.damaged = true;"),
    ("search-page-place", "std::uint32_t a = 0x9e3779b9 ^ (page * 0x85ebca6bu);\n  std::uint32_t b = "
     "0x7f4a7c15 + page;", "std::uint32_t a = 0x9e3779b9 ^ (page * 0u);\n  std::uint32_t b = 0x7f4a7c15;"),
    ("search-page-stale", "return check.stamp >= ExpectedStamp(state, number);", "return true;"),
    ("search-index-lock", "if (place == IndexLock::Place::kWritable && lock.TryExclusive()) return {true, {}};",
     "if (place == IndexLock::Place::kWritable) return {true, {}};"),
    ("search-dangling-link", "errno = 0;  // readdir tells its own end from an error by errno alone",
     ""),
    ("search-sentence-cut", "const bool continuesCharacter = (static_cast<unsigned char>(c) & 0xc0) "
     "== 0x80;", "const bool continuesCharacter = true;"),
    ("search-changed-file", "stamp) || stamp != file.stamp) {", "stamp)) {"),
    ("search-stamp-identity", "bool operator==(const FileStamp&) const = default;",
     "bool operator==(const FileStamp& o) const { return size == o.size && modified == o.modified; }"),
    ("search-emptied-corpus", "    if (listing == nullptr) return false;\n    if (failure.Done() && "
     "!RecordCorpus", "    static const CorpusListing none;\n    if (listing == "
     "nullptr) listing = &none;\n    if (failure.Done() && !RecordCorpus"),
    ("search-not-text-nul", "if (head.find('\\0') != std::string_view::npos) return \"it holds NUL bytes\";",
     ""),
    ("search-skipped-counted-added", "--(known ? counts_.changed : counts_.added);", ""),
    ("search-kept-unchecked", "if (!CorpusFileReader::Names(path, file.stamp)) Changed(file, looked);",
     "if (false) Changed(file, looked);"),
    ("search-kept-too-large", "    if (bytes > budget_) return nullptr;\n", ""),
    ("search-places-row", "const std::uint64_t row = file.first + place / kSpansPerRow * kSpansPerRow;",
     "const std::uint64_t row = file.first;"),
    ("search-common-three", "if (i + 2 < words.size() && IsCommon(words[i]) && IsCommon(words[i + 1])) {",
     "if (false) {"),
    ("search-word-gap", "offset == endBefore + 1 && lower[endBefore] == ' ';", "true;"),
    ("search-answer-kept-after-change", "if (!reader->SawChange()) answers_.Keep(key, hits);",
     "answers_.Keep(key, hits);"),
    ("search-page-bound", "return kFrame + 5 * titleBytes + 5 * sentenceBytes",
     "return kFrame + titleBytes + sentenceBytes"),
    ("search-watch-trust", "notices_.count->load(std::memory_order_acquire) == notices_.seen;", "true;"),
    ("search-watch-own-files",
     "if (changed.native().starts_with(fs::path(own).make_preferred().native())) return false;",
     "if (own.empty()) return false;"),
    ("search-watch-site-texts", 'return depth == 2 && changed.extension() == ".txt";', "return false;"),
    ("search-watch-update", "    Update(service, done);\n", "    if (done == 0) Update(service, done);\n"),
    ("search-watch-vouch", "    ++service.notices;  // the index opened trusting the watch trusts it no more\n",
     "\n"),
    ("search-watch-longest-wait", "std::min(service.lastNotice + kQuiet, first + kLongestWait);",
     "std::min(service.lastNotice + kQuiet, first + std::chrono::hours(1));"),
    ("search-watch-win32-told", "if (ConcernsCorpus(name, ignored) && !besideSites) {",
     "if (false && !besideSites) {"),
    ("search-one-connection", "const std::thread::id thread = std::this_thread::get_id();",
     "const std::thread::id thread{};"),
    ("search-connection-cap", "if (open < kMaxConnections) {", "if (true) {"),
    ("search-sentence-closer", "bool IsCloser(char c) { return c == '\"' || c == '\\'' || c == ')' "
     "|| c == ']'; }", "bool IsCloser(char c) { return c == '\\'' || c == ')' || c == ']'; }"),
    ("search-1252-unassigned", "if (code == 0) return std::nullopt;", ""),
    ("search-1252-high", "c < 0xa0 ? kWindows1252High[c - 0x80] : c;", "c;"),
    ("search-utf8-first", "const bool utf8 = IsUtf8(out);",
     "const bool utf8 = IsUtf8(out) && out.empty();"),
    ("search-page-charset", "      result.charset = charset;\n", "\n"),
    ("search-page-1252-reference", 'out += "&#" + std::to_string(static_cast<unsigned long>(code)) '
     '+ ";";', "out.push_back('?');"),
    ("search-page-1252-fits", "const std::vector<std::size_t> kept = FittingBlocks(sizes);",
     "std::vector<std::size_t> kept;\n  for (std::size_t i = 0; i < sizes.size(); ++i) "
     "kept.push_back(i);"),
    ("search-prune-held", "IndexLock::Place::kWritable ||\n        !lock->TryExclusive()) {",
     "IndexLock::Place::kWritable) {"),
    ("search-prune-existing", "(index.corpusGone && now - index.used > rule.unused)",
     "(now - index.used > rule.unused)"),
    ("search-progress-terminal", ".terminal = StandardErrorIsTerminal()", ".terminal = true"),
    ("search-health-at-start", "std::atomic<Health> health = Health::kBuilding;",
     "std::atomic<Health> health = Health::kReady;"),
    ("search-health-logged", ".contentType = kText, .logged = false};", ".contentType = kText};"),
    # the launcher and the story folder
    ("launcher-site", 'return ownService && siteVariable.empty() ? "talewick.org" : "";',
     'return ownService && (false && siteVariable.empty()) ? "talewick.org" : "";'),
    ("launcher-corpus-wins", "const bool ownService = !line.corpus.empty() || "
     'Variable("TALEWICK_SEARCH_HOST").empty();',
     'const bool ownService = Variable("TALEWICK_SEARCH_HOST").empty();'),
    ("launcher-only-site", "} else if (sites.size() == 1) {", "} else if (!sites.empty()) {"),
    ("launcher-busy-service", "logSize = size;\n      lastSign = now;", "logSize = size;"),
    ("launcher-lock", "LockFileByte(fd, kStoryLockByte, LockShare::kExclusive, LockWait::kNo);",
     "ByteLock{ByteLock::Outcome::kTaken, 0};"),
    ("launcher-win32-lock", "if (lock.outcome == ByteLock::Outcome::kTaken) {\n    state_->file = file;",
     "if (true) {\n    state_->file = file;"),
    ("launcher-raise", "if (IsProgramWindow(x, window, programId)) {",
     "if (programId < 0 && IsProgramWindow(x, window, programId)) {"),
    ("program-help-window", "if (talewick::AnswerCommandLine(argc, argv)) return 0;",
     "talewick::AnswerCommandLine(argc, argv);"),
    ("launcher-stop-service", "  service.Stop();\n", "\n"),
    ("launcher-timed-wait", "if (done > 0 || (done < 0 && errno != EINTR)) return Reaped(*state_, "
     "done, status);", "if (done < 0 && errno != EINTR) return Reaped(*state_, done, status);"),
    ("launcher-win32-cr", "line = s.pending.substr(0, end);\n      if (!line.empty() && "
     "line.back() == '\\r') line.pop_back();", "line = s.pending.substr(0, end);"),
    ("story-folder-usable", "if (programProblem.empty()) return {programFolder, {}};",
     "return {programFolder, {}};"),
    ("story-folder-fits", "return folder.size() + kLongestDataFileName.size() <= "
     "static_cast<size_t>(kTextCapacity);", "return folder.size() + kLongestDataFileName.size() <= "
     "static_cast<size_t>(kTextCapacity) + 1;"),
    ("story-folder-seed", "CopyIntoPlace(ShippedWordListPath(programFolder), wordList);", ""),
    ("story-folder-seed-once", "if (!programFolder.empty() && !FileExists(wordList)) {",
     "if (!programFolder.empty()) {"),
    ("story-folder-probe-left", "::unlink(probe.c_str());", ""),
    ("story-folder-win32-probe", "CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,\n"
     "                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);\n"
     "  if (file == INVALID_HANDLE_VALUE) return false;",
     "CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,\n"
     "                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);"),
    ("story-folder-installed", "} else if (FileExists(programFolder + std::string(kInstalledMarkerName))) {",
     "} else if (false) {"),
    ("launcher-win32-short-name", "if (SpelledInAnsi(wide)) return path;", "return path;"),
    ("program-win32-short-name", "if (path.find('?') == std::string::npos) return path;",
     "return path;"),
    # window layers
    ("gtk-enter-on-button", "return focus != nullptr && GTK_IS_BUTTON(focus) ? TRUE : FALSE;",
     "return FALSE;"),
    ("gtk-timer-repeat", "return armed != timers.end() && armed->second == source ? "
     "G_SOURCE_CONTINUE : G_SOURCE_REMOVE;", "return G_SOURCE_REMOVE;"),
    ("event-restore", "  handler();\n  WindowEvent = outer;\n}", "  handler();\n}"),
    ("win32-enter-watch", "} else if (wordParam == '\\r' && (switches & kNotifyEnterBit) != 0) {",
     "} else if (false) {"),
    ("win32-close-code", "return DefWindowProcA(window, kCloseRequestCode, wordParam, longParam);",
     "return DefWindowProcA(window, message, wordParam, longParam);"),
    ("win32-status-code", "if (result != S_OK || callback->refused() || status < 200 || "
     "status >= 300) return false;", "if (result != S_OK || callback->refused() || status < 200 || "
     "status >= 600) return false;"),
    # window layers again, in forms that build with warnings as errors
    ("gtk-enter-on-button-w", "return focus != nullptr && GTK_IS_BUTTON(focus) ? TRUE : FALSE;",
     "return focus != nullptr && GTK_IS_BUTTON(focus) ? FALSE : FALSE;"),
    ("gtk-timer-repeat-w", "armed->second == source ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;",
     "armed->second == source ? G_SOURCE_REMOVE : G_SOURCE_REMOVE;"),
    ("event-restore-w", "  handler();\n  WindowEvent = outer;\n}", "  handler();\n  (void)outer;\n}"),
    ("gtk-frame-outside", "gtk.clientHeight = std::max(1, height - static_cast<int>(frame->top + "
     "frame->bottom));", "gtk.clientHeight = height;"),
    ("gtk-row-padding", 'g_object_set(cell, "ypad", 0, nullptr);', 'g_object_set(cell, "ypad", 3, nullptr);'),
    ("gtk-list-utf8", "gtk_list_store_insert_with_values(control->lines, nullptr, -1, 0, "
     "GtkValidUtf8(text).c_str(), -1);", "gtk_list_store_insert_with_values(control->lines, nullptr, "
     "-1, 0, std::string(text).c_str(), -1);"),
    ("win32-list-sorted", "LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS,",
     "LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS | LBS_SORT,"),
    ("win32-icon", "windowClass.hIcon = LoadIconA(win32.instance, MAKEINTRESOURCEA(kIconResourceId));",
     "windowClass.hIcon = LoadIconA(win32.instance, MAKEINTRESOURCEA(kIconResourceId + 1));"),
    ("win32-never-opened-wake", "  PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);\n}", "}"),
]


def product_files():
    out = subprocess.run(["git", "ls-files", *PRODUCT], cwd=REPO, capture_output=True,
                         text=True, check=True).stdout.split()
    return [f for f in out if f.endswith((".cpp", ".h"))]


def locate(snippet, files):
    hits = []
    for name in files:
        with open(os.path.join(REPO, name), encoding="utf-8") as source:
            count = source.read().count(snippet)
        hits += [name] * count
    return hits


def run(command, cwd=REPO, timeout=None):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True, timeout=timeout)


def failed_tests(build, skip, timeout, exclude=None):
    # A mutant may make a test loop for ever: the time-out counts as a failure.
    # The test that checks the snippets stand once fails for every mutant: it
    # would count each as caught.
    exclude = "|".join(filter(None, ["^mutation_snippets$", exclude]))
    command = ["ctest", "--test-dir", build, "-LE", skip, "--timeout", str(timeout), "-E", exclude]
    result = run(command, timeout=7200)
    return sorted(set(re.findall(r"^\s*\d+ - (\S+) \(", result.stdout, flags=re.M)))


def stop(*_):
    raise KeyboardInterrupt


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--preset", default="linux", choices=("linux", "windows"))
    parser.add_argument("--skip", default="long", help="leave out tests with these labels")
    parser.add_argument("--exclude", default=None, help="leave out tests whose names match")
    parser.add_argument("--only", nargs="*", default=None, help="mutant ids")
    parser.add_argument("--timeout", type=int, default=300, help="seconds a test may take")
    parser.add_argument("--json", default=None, help="write the results here too")
    parser.add_argument("--check", action="store_true",
                        help="only check that each snippet stands once in the product")
    args = parser.parse_args()
    # A stop request still puts the mutated file back (the `finally` below).
    signal.signal(signal.SIGTERM, stop)

    build = os.path.join(REPO, "build", args.preset)
    windows = args.preset == "windows"
    files = product_files()
    chosen = [m for m in MUTANTS if args.only is None or m[0] in args.only]
    stale = [(m[0], len(locate(m[1], files))) for m in chosen]
    stale = ["%s (found %d times)" % (ident, n) for ident, n in stale if n != 1]
    if stale:
        sys.exit("mutants whose snippet does not stand once: " + ", ".join(stale))
    if args.check:
        print("%d mutants, each snippet found once" % len(chosen))
        return
    if run(["cmake", "--build", build]).returncode != 0:
        sys.exit("the unmutated build fails")
    baseline = failed_tests(build, args.skip, args.timeout, args.exclude)
    if baseline:
        sys.exit("tests fail before any mutant: %s" % ", ".join(baseline))

    results = []
    for ident, snippet, replacement in chosen:
        where = locate(snippet, files)
        if len(where) == 1 and where[0].endswith("_win32.cpp") != windows:
            continue  # the other preset's mutant
        path = os.path.join(REPO, where[0])
        with open(path, encoding="utf-8") as source:
            original = source.read()
        started = time.monotonic()
        try:
            with open(path, "w", encoding="utf-8") as out:
                out.write(original.replace(snippet, replacement, 1))
            if run(["cmake", "--build", build]).returncode != 0:
                outcome, caught_by = "build fails", []
            else:
                caught_by = failed_tests(build, args.skip, args.timeout, args.exclude)
                outcome = "caught" if caught_by else "missed"
        finally:
            with open(path, "w", encoding="utf-8") as out:
                out.write(original)
        results.append({"id": ident, "file": where[0], "outcome": outcome, "caught_by": caught_by})
        print("%-22s %-7s %4.0f s  %s" % (ident, outcome, time.monotonic() - started,
                                          " ".join(caught_by)), flush=True)
    run(["cmake", "--build", build])  # back to the unmutated program

    valid = [r for r in results if r["outcome"] in ("caught", "missed")]
    caught = [r for r in valid if r["outcome"] == "caught"]
    print("\n%d mutants, %d caught, %d missed" % (len(valid), len(caught), len(valid) - len(caught)))
    unique = {}
    for r in caught:
        if len(r["caught_by"]) == 1:
            unique.setdefault(r["caught_by"][0], []).append(r["id"])
    print("caught by one test only:")
    for test, idents in sorted(unique.items()):
        print("  %-40s %s" % (test, " ".join(idents)))
    if args.json:
        with open(args.json, "w", encoding="utf-8") as out:
            json.dump(results, out, indent=1)


if __name__ == "__main__":
    main()
