"""The faults the mutation check applies, one at a time (see mutate.py).

Each entry: an id, the file (from the repository root), the exact original text (it must occur
exactly once in that file), the mutated text, and the test binaries (ctest name prefixes) that
should notice. A file that moves or a line that changes takes its entries with it.
"""

from dataclasses import dataclass


@dataclass
class Mutation:
    id: str
    file: str
    original: str
    mutated: str
    tests: tuple


M = Mutation
HELPER = "installer/common/KLHelper.cpp"
ENDPOINT = "installer/common/KLEndPoint.cpp"
LOG = "installer/common/KLInstallLog.cpp"
DECODER = "installer/ActDlg/KLKeyDecoder.cpp"
RECORD = "installer/ActDlg/KLTextDataProvider.mm"
XMLREADER = "installer/ActDlg/prefill/KLPrefillXmlReader.mm"
TEXTREADER = "installer/ActDlg/prefill/KLPrefillTextReader.mm"
PREFILLFILE = "installer/ActDlg/prefill/KLPrefillFile.mm"
PANE = "installer/ActDlg/ActDlgPane.mm"
INPUT = "installer/ActDlg/KLActivationInput.mm"
BRIDGE = "installer/bridge/KLStringBridge.h"
SECTION = "platform/gnustep/InstallerPlugins/InstallerSection.m"
SECTIONNAV = "platform/gnustep/InstallerPlugins/InstallerSection+Navigation.m"
KEYTOOL = "tools/kelvory-keytool/main.cpp"
PREFILL = "tools/kelvory-keytool/Prefill.mm"
TOOLRUN = "installer/validation/KLValidationTool.cpp"
SUPERVISOR = "installer/validation/KLProcessSupervisor.cpp"
WAITER = "installer/validation/KLProcessSupervisorWaiter.cpp"
WRITER = "installer/validation/KLConfigWriter.cpp"
ATTEMPT = "installer/validation/KLValidation.mm"
VPANE = "installer/validation/ValidDlgPane.mm"
PANETEXT = "installer/l10n/KLPaneText.mm"
AVIEWS = "installer/ActDlg/ActDlgPaneViews.mm"
VVIEWS = "installer/validation/ValidDlgPaneViews.mm"
SCRIPT = "tools/kelvory-installer/script/ScriptParser.cpp"
HOST = "tools/kelvory-installer/main.mm"
HOSTWINDOW = "tools/kelvory-installer/HostWindow.mm"
ALERTS = "tools/kelvory-installer/AlertCapture.mm"
ACTIVATE = "tools/kelvory-activate/main.mm"
SOURCE = "installer/ActDlg/KLActivationSource.mm"
MANAGED = "installer/ActDlg/prefill/KLManagedValues.mm"
DOCTOR = "tools/kelvory-keytool/doctor/Doctor.mm"
PROBE = "tools/kelvory-keytool/doctor/Probe.cpp"
REFTOOL = "tools/InitialValidate/main.cpp"
REFOPTS = "tools/InitialValidate/Options.cpp"

MUTATIONS = [
    # The faults that once went unnoticed.
    M("server-url-cut", INPUT, "kServerBuffer = 256", "kServerBuffer = 255", ("pane_test",)),
    M("key-trimmed", INPUT, "AnalyzeKey(out->key.c_str())", "AnalyzeKey(Trimmed(out->key).c_str())",
      ("pane_test",)),
    M("stamp-day-month", LOG, '"%m/%d/%y %H:%M:%S"', '"%d/%m/%y %H:%M:%S"',
      ("common_test", "pane_test")),
    M("text-no-cr", TEXTREADER, 'kTextSeparators[] = "=, \\r\\n"', 'kTextSeparators[] = "=, \\n"',
      ("activation_test", "keytool_test")),
    M("leak-check-no-plugin", "tools/kelvory-installer/LeakCheck.mm",
      "arrayWithObjects:plugin, ", "arrayWithObjects:", ("installer_test",)),
    M("leak-check-quiet", "tools/kelvory-installer/LeakCheck.mm", "      freed = false;\n", "",
      ("installer_test",)),
    M("activate-tool-elsewhere", "tools/kelvory-activate/Options.cpp", 'o.tool = ProgramDirectory() + "/InitialValidate";',
      'o.tool = ProgramDirectory() + "/../InitialValidate";', ("activate_test",)),
    M("activate-tool-any-name", "tools/kelvory-activate/Options.cpp", 'o.tool.compare(o.tool.size() - 16, 16, "/InitialValidate") != 0',
      'o.tool.compare(o.tool.size() - 16, 16, "/InitialValidate") != 0 && false', ("activate_test",)),
    M("status-text-typo", "installer/contract/KLToolExitCodes.h", '"Runtime exception occurred."', '"Runtime exception occured."',
      ("validation_test",)),
    M("host-ignored-silent", "tools/kelvory-installer/ScriptRunner.mm",
      'if (![host pressContinue]) Say("ignored: continue");', "[host pressContinue];", ("e2e",)),
    M("vpane-verdict-before-write", VPANE, "    return [pane_ writeConfigFile:activationKey];",
      "    [pane_ showVerdict:YES];\n    return [pane_ writeConfigFile:activationKey];",
      ("validation_test",)),
    M("host-double-enter", SECTIONNAV, "  if (_currentIndex != index) return YES;\n", "",
      ("host_test",)),
    M("host-lost-move", SECTIONNAV,
      "      _switching = NO;\n      [self logPaneAtIndex:to call:@\"didEnterPane:\" "
      "direction:dir];\n      [entering didEnterPane:dir];\n",
      "      [self logPaneAtIndex:to call:@\"didEnterPane:\" direction:dir];\n"
      "      [entering didEnterPane:dir];\n      _switching = NO;\n", ("host_test",)),
    M("keytool-unknown-as-missing", "tools/kelvory-keytool/main.cpp",
      "dynamic_cast<const CLI::RequiredError*>(&e) != nullptr && !unknown.empty()", "false",
      ("keytool_test",)),
    M("keytool-id-diagnostic", "tools/kelvory-keytool/KeyDiagnostics.cpp", "    case kl::KeyDecodeStatus::kBadIdentifier:\n",
      "    case static_cast<kl::KeyDecodeStatus>(-100):\n", ("keytool_test",)),
    M("prefill-no-reason", PREFILL, "return look.problem.empty() ? 0 : 1;", "return 0;",
      ("keytool_test",)),
    # Helpers.
    M("trim-tab", HELPER, "find_first_not_of(' ')", 'find_first_not_of(" \\t")',
      ("common_test",)),
    M("split-no-trim", HELPER, "TrimSpace(token);", "", ("common_test",)),
    M("base64-pad-third", HELPER, "if (at(2) == '=') break;", "", ("common_test",)),
    M("base64-bad-fourth", HELPER, "c4 < 0 ? static_cast<char>(0xFF)",
      "c4 < 0 ? static_cast<char>(0x3F)", ("common_test",)),
    M("ip-zero-part", HELPER, 'if (part == "0") continue;', "", ("common_test",)),
    M("ip-255", HELPER, "value > 255", "value > 256", ("common_test",)),
    M("scan-no-saturate", HELPER, "r.overflow = true;\n    magnitude = limit;",
      "r.overflow = true;", ("common_test",)),
    M("fqdn-no-inet-addr", HELPER, "if (inet_addr(text.c_str()) != INADDR_NONE) return true;",
      "", ("common_test",)),
    # Endpoint.
    M("endpoint-default-https-port", ENDPOINT, 'protocol == "http" ? "80" : "443"',
      'protocol == "https" ? "80" : "443"', ("common_test",)),
    M("endpoint-port-zero", ENDPOINT, "digitsOnly && value != 0", "digitsOnly",
      ("common_test",)),
    M("endpoint-protocol-case", ENDPOINT, "KLHelper::ToLowerCase(protocol);", "",
      ("common_test",)),
    M("endpoint-copy-invalid", ENDPOINT, "    : port(0), errorMessage(other.errorMessage), "
      "isValid(other.isValid) {\n  if (other.isValid) {",
      "    : port(0), errorMessage(other.errorMessage), isValid(other.isValid) {\n  {",
      ("common_test",)),
    # Install log.
    M("log-no-nofollow", LOG, "O_CREAT | O_NOFOLLOW", "O_CREAT", ("common_test",)),
    M("log-short-form", LOG, '"%s\\t%s -- %s\\n"', '"%s %s -- %s\\n"', ("common_test",)),
    # Key decoder.
    M("key-type-8", DECODER, 'type != "8" && ', "", ("activation_test",)),
    M("key-id-overflow", DECODER, " || value.overflow", "", ("activation_test",)),
    M("key-list-kept", DECODER, "      a.endpoints.clear();\n      a.rejectedEndpointText",
      "      a.rejectedEndpointText", ("activation_test",)),
    M("key-format-5", DECODER, "a.fields.size() != 4", "a.fields.size() < 4",
      ("activation_test",)),
    # Record.
    # The readers' report, which the doctor words: a line read in pieces, an unknown element at
    # the top level, where the parser stopped.
    M("prefill-pieces-unreported", TEXTREADER, "      if (pieceOfLine) {", "      if (false) {",
      ("keytool_test",)),
    M("prefill-top-level-unknown-unreported", XMLREADER, "((depth == 2 && parent == nullptr) ||",
      "((false) ||", ("keytool_test",)),
    M("prefill-stop-position-lost", XMLREADER, "{{}, true, [parser lineNumber], [parser columnNumber]}",
      "{{}, true, 0, 0}", ("keytool_test", "pane_test")),
    M("record-https-case", XMLREADER, 'isHTTPS = [value isEqualToString:@"https"];',
      'isHTTPS = [value caseInsensitiveCompare:@"https"] == NSOrderedSame;',
      ("activation_test",)),
    M("record-proxy-port0", XMLREADER, "if (proxyPort != 0) {", "if (proxyPort >= 0) {",
      ("activation_test",)),
    M("record-rotation-wrap", RECORD, "  currentURLArrayIndex = 0;\n  return NO;",
      "  return NO;", ("activation_test",)),
    M("record-leak-url-list", RECORD, "  [serverURLs release];\n", "", ("activation_test",)),
    M("record-contain-url", RECORD, "[_customerName length] > 0;",
      "[_customerName length] > 0 || [_serverURL length] > 0;", ("activation_test",)),
    # Pane.
    M("pane-no-end-pane-silent", PANE, "    [[NSAssertionHandler currentHandler]\n",
      "    if (false) [[NSAssertionHandler currentHandler]\n", ("pane_test",)),
    M("pane-port-range", INPUT, ">= 65537u", ">= 65536u", ("pane_test",)),
    M("pane-proxy-cut", INPUT, "kProxyBuffer = 100", "kProxyBuffer = 101", ("pane_test",)),
    M("pane-name-split-char", BRIDGE, "(static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80",
      "false", ("pane_test",)),
    M("pane-prefill-once", PANE, "    m_bPaneAlreadyInited = YES;\n", "", ("pane_test",)),
    M("pane-id-check-order", INPUT, "if (!isinteger(in.customerId)) return Refuse(",
      "if (false) return Refuse(", ("pane_test",)),
    M("pane-record-leak", PANE, "  [record release];\n", "",
      ("pane_test",)),
    # Key tool.
    M("keytool-exit-refused", "tools/kelvory-keytool/Endpoint.cpp", "return e.isValid ? 0 : kExitRefused;", "return 0;",
      ("keytool_test",)),
    M("keytool-decode-exit", "tools/kelvory-keytool/Decode.cpp",
      "  return kExitRefused;\n}\n\n}  // namespace", "  return kExitUsage;\n}\n\n}  // namespace",
      ("keytool_test",)),
    M("prefill-error-on-stdout", PREFILL, 'std::cerr << "kelvory-keytool: "',
      'std::cout << "kelvory-keytool: "', ("keytool_test",)),
    M("encode-no-refusal", "tools/kelvory-keytool/Encode.cpp", "  if (analysis.status != kl::KeyDecodeStatus::kOk) {\n    // What",
      "  if (false) {\n    // What", ("keytool_test",)),
    M("doctor-strict-ignored", DOCTOR, "!(request.strict && !report[\"warnings\"].empty())", "true",
      ("keytool_test",)),
    M("probe-no-proxy", PROBE, "  curl_easy_setopt(h, CURLOPT_PROXY, t.proxy.c_str());\n", "",
      ("keytool_test",)),
    # More helpers, endpoint, decoder.
    M("split-one-byte-step", HELPER, "    begin = at + delimiter.size();", "    begin = at + 1;",
      ("common_test",)),
    M("split-rest-untrimmed", HELPER, "      begin = first;\n", "", ("common_test",)),
    M("base64-missing-second", HELPER, "SextetOrAllOnes(at(1)) : 63", "SextetOrAllOnes(at(1)) : 0",
      ("common_test",)),
    M("ip-parts-at-least-4", HELPER, "parts.size() != 4", "parts.size() < 4", ("common_test",)),
    M("scan-space-only", HELPER, "IsCSpace(text[i])) ++i;", "text[i] == ' ') ++i;",
      ("common_test",)),
    M("endpoint-protocol-keeps-colon", ENDPOINT, "rest.substr(0, slashes - 1)",
      "rest.substr(0, slashes)", ("common_test",)),
    # More record, pane, host.
    M("record-proxy-without-host", XMLREADER, "  if ([proxyHost length] == 0) return;\n", "",
      ("activation_test",)),
    M("record-rotation-off-by-one", RECORD, "currentURLArrayIndex < static_cast",
      "currentURLArrayIndex <= static_cast", ("activation_test",)),
    M("record-secure-positive", TEXTREADER, "isHTTPS = KLHelper::Atoi32(value) != 0;",
      "isHTTPS = KLHelper::Atoi32(value) > 0;", ("activation_test",)),
    M("pane-protocol-port", PANE, '== 0 ? @"80" : @"443"', '== 1 ? @"80" : @"443"',
      ("pane_test",)),
    M("pane-stays-visible", PANE, "  [[self contentView] setHidden:YES];\n", "", ("pane_test",)),
    M("pane-ascii-nul", BRIDGE, "  out->resize(strnlen(out->c_str(), length));\n", "",
      ("pane_test",)),
    M("host-back-from-first", SECTIONNAV, "  if (!forward && index == 0) return NO;", "",
      ("host_test",)),
    # Added last, after the tests were settled, as a check on the check.
    M("record-appliance-no-data", RECORD, " || applianceId != 0;", ";", ("activation_test",)),
    M("isinteger-trailing-text", INPUT, "if (!KLHelper::IsCSpace(bytes[i])) return NO;",
      "return NO;", ("pane_test",)),
    M("endpoint-ip-by-resolver", ENDPOINT, "!KLHelper::IsValidIP(host) && !KLHelper::IsValidFQDN(host)",
      "!KLHelper::IsValidFQDN(host)", ("common_test",)),
    M("host-disabled-ignored", SECTIONNAV,
      "if (!(forward ? [pane nextEnabled] : [pane previousEnabled])) {", "if (NO) {",
      ("host_test",)),
    M("host-notice-unaddressed", SECTIONNAV, "                      object:self\n",
      "                      object:nil\n", ("host_test",)),
    M("host-goto-current", SECTION, "pane == nil || pane == active", "pane == nil",
      ("host_test",)),
    M("host-goto-always-forward", SECTION,
      "(NSInteger)target > _currentIndex ? InstallerDirectionForward : InstallerDirectionBackward",
      "InstallerDirectionForward", ("host_test",)),
    M("host-goto-stranger", SECTION, "if (target == NSNotFound) return NO;",
      "if (target == NSNotFound) target = 0;", ("host_test",)),
    M("host-load-ignored", SECTION, "    _loads = [self shouldLoad];\n",
      "    [self shouldLoad];\n    _loads = YES;\n", ("host_test",)),
    M("host-loop-walked-twice", SECTION, "[chain indexOfObjectIdenticalTo:pane] == NSNotFound",
      "[chain count] < 3", ("host_test",)),
    M("host-dead-section-kept", SECTION, "    if ([pane section] == self) [pane setSection:nil];\n",
      "", ("host_test",)),
    # Validation: tool launch and messages.
    M("vt-signal-success", TOOLRUN,
      'return status == 0 ? std::string() : std::string("Launch script failed");',
      "return std::string();", ("validation_test",)),
    M("vt-not-executed", SUPERVISOR,
      "(report.value == EAGAIN || report.value == ENOMEM) ? -1 : kNotExecutedStatus", "-1",
      ("validation_test",)),
    # The tool never outlives its caller, and nobody else can take its status.
    # Survives since the waiter ends the tool with its caller: the tool's parent-death signal is a
    # second line that no test tells apart from the waiter.
    M("vt-no-parent-death", WAITER,
      "    if (start->parentDeathSignal) {\n      prctl(PR_SET_PDEATHSIG, SIGKILL);",
      "    if (false) {\n      prctl(PR_SET_PDEATHSIG, SIGKILL);", ("validation_test",)),
    # The waiter dies with its caller at the same instant and ends nothing: a child the tool left
    # in its group lives on.
    M("vt-waiter-parent-death", WAITER,
      "  prctl(PR_SET_CHILD_SUBREAPER, 1);",
      "  prctl(PR_SET_CHILD_SUBREAPER, 1);\n  prctl(PR_SET_PDEATHSIG, SIGKILL);",
      ("validation_test",)),
    # A caller killed outright leaves the tool running once the parent-death signal is off.
    M("vt-caller-gone-group-kept", WAITER, "  EndLeftovers(tool);\n  _exit(127);", "  _exit(127);",
      ("validation_test",)),
    # A grandchild that left the group (setsid) goes to init and holds standard output.
    M("vt-no-subreaper", WAITER, "  prctl(PR_SET_CHILD_SUBREAPER, 1);", "", ("validation_test",)),
    M("vt-leftovers-kept", WAITER,
      "  EndLeftovers(tool);\n  Send(start->report, WaiterReport::Kind::kStatus, status);",
      "  Send(start->report, WaiterReport::Kind::kStatus, status);", ("validation_test",)),
    M("vt-cancel-ignored", SUPERVISOR, "    if (pid > 0) kill(-pid, signal);", "    (void)pid;",
      ("validation_test", "activate_test")),
    M("vt-tool-is-our-child", WAITER, "  const pid_t tool = vfork();",
      "  const pid_t tool = 0;", ("validation_test",)),
    M("vt-empty-proxy-given", TOOLRUN, "if (!request.proxy.empty()) argv.insert",
      "if (true) argv.insert", ("validation_test",)),
    M("vt-negative-appliance", TOOLRUN, "if (request.applianceId != 0) {",
      "if (request.applianceId > 0) {", ("validation_test",)),
    M("vt-directory-untrimmed", TOOLRUN, "  KLHelper::TrimSpace(directory);\n", "",
      ("validation_test",)),
    M("vt-code-18", TOOLRUN, "code >= 1 && code <= 18", "code >= 1 && code <= 17",
      ("validation_test",)),
    # Configuration writer.
    M("cw-count-zero", WRITER, "n >= 2 ? 2 : 1", "n >= 2 ? 2 : n", ("validation_test",)),
    M("cw-third-endpoint", WRITER, "for (int32_t i = 1; i < count; ++i)",
      "for (int32_t i = 1; i < n; ++i)", ("validation_test",)),
    M("cw-no-separator", WRITER, 'endsInSeparator ? "" : "/"', '""', ("validation_test",)),
    M("cw-follows-links", LOG, "O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)",
      "O_CREAT | O_CLOEXEC, 0600)", ("validation_test", "common_test")),
    M("cw-other-owner", LOG, "info.st_uid != geteuid()", "false", ("validation_test", "common_test")),
    M("cw-partial-kept", WRITER, "if (!complete && ftruncate(fd, before.st_size) != 0)",
      "if (false && ftruncate(fd, before.st_size) != 0)", ("validation_test",)),
    M("cw-volume-controls", WRITER, "      return VolumePrefixResult::kControlCharacters;\n",
      "      break;\n", ("validation_test", "activate_test")),
    M("activate-no-lock", "tools/kelvory-activate/RunGuard.cpp",
      "  const std::string path = ActivationLockPath();\n",
      "  return LockResult::kTaken;\n  const std::string path = ActivationLockPath();\n",
      ("activate_test",)),
    # A lock that cannot be made is waited for until the time limit, then blamed on another run.
    M("activate-lock-waits", "tools/kelvory-activate/RunGuard.cpp", "if (fd < 0 && errno != ELOOP) {", "if (false) {",
      ("activate_test",)),
    M("activate-root-lock-in-tmp", "tools/kelvory-activate/RunGuard.cpp", 'geteuid() == 0 ? "/var/run/kelvory-activate.lock" :',
      "false ? std::string() :", ("activate_test",)),
    M("activate-stop-signals-blocked", "tools/kelvory-activate/RunGuard.cpp", "  sigprocmask(SIG_UNBLOCK, &stops, nullptr);\n", "",
      ("activate_test",)),
    M("activate-unless-any-owner", "tools/kelvory-activate/PriorActivation.cpp",
      "(info.st_uid == 0 || info.st_uid == geteuid() || info.st_uid == installerUid)", "true",
      ("activate_test",)),
    M("activate-lookup-waits", "tools/kelvory-activate/HeadlessPlatform.mm",
      "  if (StopRequested() != StopReason::kNone) return false;\n  struct Lookup {",
      "  return kl::DefaultPlatform::ResolveHostName(name);\n  struct Lookup {",
      ("activate_test",)),
    M("activate-stop-says-nothing-written", "tools/kelvory-activate/Report.mm",
      'report->configAtStart != "not taken" && ConfigFingerprint() != report->configAtStart',
      "false", ("activate_test",)),
    M("activate-signal-ignored", "tools/kelvory-activate/RunGuard.cpp",
      "    CancelRunningTools(SIGTERM);\n    alarm(kGraceSeconds);", "    alarm(kGraceSeconds);",
      ("activate_test",)),

    M("cw-several-appdirs", WRITER, "applicationDirectories.size() != 1",
      "applicationDirectories.empty()", ("validation_test",)),
    M("cw-ascii", WRITER, "  if (!IsASCII(path)) return VolumePrefixResult::kNotASCII;\n", "",
      ("validation_test",)),
    # One attempt and the pane.
    M("attempt-no-failover", ATTEMPT, "if ([record nextURL]) {", "if (false && [record nextURL]) {",
      ("validation_test", "activate_test")),
    M("attempt-silent-failure", ATTEMPT, "  platform.ShowCriticalAlert(outcome.message);\n", "",
      ("validation_test",)),
    M("attempt-timing-format", ATTEMPT, '"Validation took %.1f sec."', '"Validation took %.0f sec."',
      ("validation_test",)),
    M("vpane-back-after-failure", VPANE, "[self setPreviousEnabled:YES];",
      "[self setPreviousEnabled:succeeded];", ("validation_test",)),
    M("vpane-leave-while-validating", VPANE, "return !klPerformingValidation;", "return YES;",
      ("validation_test",)),
    M("vpane-backward-revalidates", VPANE,
      "  if (dir != InstallerDirectionForward) return;\n  [klValidationIndicator", "  [klValidationIndicator",
      ("validation_test",)),
    M("vpane-indicator-leak", VPANE, "  [klValidationIndicator release];\n", "",
      ("validation_test",)),
    # Installer host and its scripts.
    M("script-crlf", SCRIPT, "if (!line.empty() && line.back() == '\\r') line.pop_back();", "",
      ("installer_test",)),
    M("script-partial-kept", SCRIPT, "      script.steps.clear();\n", "", ("installer_test",)),
    M("script-column-unchecked", SCRIPT, " || !ParseIndex(column, &step->column)", "",
      ("installer_test",)),
    M("script-key-any", SCRIPT, 'rest != "tab" && rest != "return" && rest != "escape"',
      'rest.empty()', ("installer_test",)),
    M("script-type-trimmed", SCRIPT, "    SplitWord(rest, &outlet, &step->text);",
      "    SplitWord(rest, &outlet, &step->text);\n    while (!step->text.empty() && "
      "step->text[0] == ' ') step->text.erase(0, 1);", ("installer_test",)),
    M("host-screenshot-tiff", "tools/kelvory-installer/HostWindowScripting.mm", "UsingType:NSPNGFileType",
      "UsingType:NSTIFFFileType", ("e2e",)),
    M("host-timer-kept", HOST, "  [alerts stop];\n", "", ("e2e",)),
    # Headless activation.
    M("activate-prefill-always", SOURCE, "    if (!look.hasData) continue;\n", "",
      ("activate_test",)),
    M("activate-proxy-option", SOURCE, "    input->proxyOption = 1;\n", "", ("activate_test",)),
    M("activate-command-line-install", "tools/kelvory-activate/PriorActivation.cpp", 'std::string(commandLine) == "1"', "false",
      ("activate_test",)),
    M("activate-no-data-code", "tools/kelvory-activate/Activate.mm", "return Finish(report, o.json, ExitCode::kNoData);",
      "return Finish(report, o.json, ExitCode::kRefused);", ("activate_test",)),
    M("activate-config-error-code", "tools/kelvory-activate/Activate.mm",
      "outcome.message.empty() ? ExitCode::kConfigError : ExitCode::kFailed", "ExitCode::kFailed",
      ("activate_test",)),
    M("activate-dry-run-runs", "tools/kelvory-activate/Activate.mm", "  if (o.dryRun) {", "  if (false) {", ("activate_test",)),
    M("activate-protocol-click", SOURCE, '    input->port = input->https ? @"443" : @"80";\n', "",
      ("activate_test",)),
    M("activate-signal-status", "tools/kelvory-activate/Report.mm", "return 128 + WTERMSIG(status);", "return status;",
      ("activate_test",)),
    # The reference tool.
    M("reftool-id-as-name", "tools/InitialValidate/ServerSteps.cpp", 'if (rejected == "customerId") return ToolExitCode::kCustomerIdRejected;',
      'if (rejected == "customerId") return ToolExitCode::kCustomerNameRejected;', ("initialvalidate_test",)),
    M("reftool-appliance-with-customer", REFOPTS,
      "if (customer && !out.applianceId.empty()) fault(ToolExitCode::kConflictingIdentity);", "",
      ("initialvalidate_test",)),
    M("reftool-env-proxy", "tools/InitialValidate/ServerClient.cpp",
      '  curl_easy_setopt(h, CURLOPT_NOPROXY, "");\n', "", ("initialvalidate_test",)),
    # Kept by the tests after their tables were merged and trimmed.
    M("keytool-type-diagnostic", "tools/kelvory-keytool/KeyDiagnostics.cpp", "    case kl::KeyDecodeStatus::kWrongType:\n",
      "    case static_cast<kl::KeyDecodeStatus>(-101):\n",
      ("keytool_test",)),
    M("doctor-one-input", "tools/kelvory-keytool/doctor/Doctor.mm",
      "if (packageOption->count() != 0 && dataOption->count() != 0) {", "if (false) {",
      ("keytool_test",)),
    M("doctor-text-ignored", SOURCE, "made = request.textFormat ? [made initWithTextData:",
      "made = false ? [made initWithTextData:", ("keytool_test",)),
    M("doctor-one-run", "tools/kelvory-keytool/doctor/DoctorChecks.mm",
      "ValidationArguments(kResourcePlaceholder, request)}});\n  } while ([checked nextURL]);",
      "ValidationArguments(kResourcePlaceholder, request)}});\n  } while (false);",
      ("keytool_test",)),
    M("doctor-typed-cause", "tools/kelvory-keytool/doctor/DoctorChecks.mm", "    if (!fromFile) {",
      "    if (false) {", ("keytool_test",)),
    M("doctor-resolves-valid-only", "tools/kelvory-keytool/doctor/DoctorChecks.mm",
      '{"resolves", Resolves(endpoint.host, platform)}',
      '{"resolves", endpoint.isValid ? Resolves(endpoint.host, platform) : json(nullptr)}',
      ("keytool_test",)),
    M("prefill-text-as-xml", SOURCE, "made = request.textFormat ? [made initWithTextData:",
      "made = false ? [made initWithTextData:", ("keytool_test",)),
    M("reftool-highest-fault", REFOPTS, "code < lowest", "code > lowest", ("initialvalidate_test",)),
    M("reftool-port-65535", REFOPTS, "value <= 65536", "value <= 65535", ("initialvalidate_test",)),
    M("reftool-conf-follows-link", "tools/InitialValidate/ConfFile.cpp", "if (lstat(path.c_str(), &st) != 0)",
      "if (stat(path.c_str(), &st) != 0)", ("initialvalidate_test",)),
    M("reftool-own-id-only", "tools/InitialValidate/ServerSteps.cpp",
      'id = o.applianceId.empty() ? Text(j, "applianceId") : o.applianceId;',
      "id = o.applianceId;", ("initialvalidate_test",)),
    M("reftool-empty-hostname", "tools/InitialValidate/ServerSteps.cpp", "if (host[0] == '\\0') {", "if (false) {",
      ("initialvalidate_test",)),
    # The reference tool and the simulator under faults, hostile input and load.
    M("reftool-log-failure-ignored", "tools/InitialValidate/InstallLogFile.h", "if (fflush(file_) != 0 || ferror(file_))",
      "if (false)", ("initialvalidate_test",)),
    M("reftool-log-unescaped", "tools/InitialValidate/InstallLogFile.h",
      "DumpLog(file_, kl::EscapeControlCharacters(message), kl::EscapeControlCharacters(detail));",
      "DumpLog(file_, message, detail);", ("initialvalidate_test",)),
    M("reftool-other-owner", "tools/InitialValidate/ConfFile.cpp", '  if (st.st_uid != geteuid()) return "another user owns it";\n',
      "", ("initialvalidate_test",)),
    M("reftool-temp-left", "tools/InitialValidate/ConfFile.h", "    if (!temp_.empty()) unlink(temp_.c_str());\n", "",
      ("initialvalidate_test",)),
    M("json-depth-off-by-one", "tools/protocol/ServerProtocol.h",
      "if (++depth > kMaxJsonDepth)", "if (++depth >= kMaxJsonDepth)", ("initialvalidate_test",)),
    M("json-string-escape", "tools/protocol/ServerProtocol.h", "      if (escaped) {",
      "      if (false) {", ("initialvalidate_test",)),
    M("sim-fixed-pool", "tools/kelvory-mgmt-sim/main.cpp",
      "  server.new_task_queue = [maxConnections] {\n    return new GrowingPool(static_cast<size_t>(maxConnections) + 1);\n  };\n",
      "",
      ("initialvalidate_test",)),
    M("sim-too-large-413", "tools/kelvory-mgmt-sim/Simulator.h", "if (a.status != 413) return",
      "if (true) return", ("initialvalidate_test",)),
]

# Written blind: without reading the tests (only the README, the documentation, the issues and
# the production code). Every one runs the whole suite. First run (2026-12-06): 21 of 30 killed
# (70%); survived: blind-host-usage-exit, blind-activate-dryrun-logs, blind-host-sighup,
# blind-source-port-with-protocol, blind-log-world-readable, blind-valid-proxy-with-key,
# blind-prefill-log-unescaped, blind-activate-proxy-with-key, blind-sim-empty-hostname.
HOSTOPTS = "tools/kelvory-installer/HostOptions.cpp"
RUNGUARD = "tools/kelvory-activate/RunGuard.cpp"
GUARD = "tools/kelvory-installer/ProcessGuard.mm"
SIM = "tools/kelvory-mgmt-sim/main.cpp"
EVERYTHING = ("common_test", "activation_test", "pane_test", "validation_test", "host_test",
              "keytool_test", "initialvalidate_test", "mgmtsim_test", "activate_test",
              "installer_test", "e2e")
BLIND = [
    # The tool's exit 18 reads "unexpected error code: 18" instead of "Runtime exception occurred."
    M("blind-valid-exit18", TOOLRUN, "if (code >= 1 && code <= 18) return ERRORS[code];",
      "if (code >= 1 && code <= 17) return ERRORS[code];", EVERYTHING),
    # Port 65536 typed in the customer form is refused with "Port is out of range".
    M("blind-input-port-65536", INPUT, ">= 65537u", ">= 65536u", EVERYTHING),
    # A backslash in an install log entry is written single, so "\n" text reads as a line break.
    M("blind-log-backslash", LOG, 'escaped += "\\\\\\\\";', 'escaped += "\\\\";', EVERYTHING),
    # kelvory-installer exits 1 instead of 2 on a bad command-line option.
    M("blind-host-usage-exit", HOSTOPTS, "    return 2;\n  }\n  return -1;",
      "    return 1;\n  }\n  return -1;", EVERYTHING),
    # kelvory-activate --dry-run appends its pre-fill lookup to the install log.
    M("blind-activate-dryrun-logs", "tools/kelvory-activate/CommandLineSources.mm",
      "request.prefillLog = o.dryRun ? KLPrefillLog::kNone : KLPrefillLog::kHeadless;",
      "request.prefillLog = KLPrefillLog::kHeadless;", EVERYTHING),
    # keytool encode without --type makes a key of type 8 instead of 1.
    M("blind-encode-default-type", "tools/kelvory-keytool/Encode.cpp", 'std::string type = "1";', 'std::string type = "8";',
      EVERYTHING),
    # InitialValidate exits with the first option fault it met instead of the lowest code.
    M("blind-reftool-first-fault", REFOPTS, "if (lowest == ToolExitCode::kOk || code < lowest) lowest = code;",
      "if (lowest == ToolExitCode::kOk) lowest = code;", EVERYTHING),
    # The simulator hands out 100001 as its first appliance ID instead of 100000.
    M("blind-sim-first-id", "tools/kelvory-mgmt-sim/Simulator.h", "std::to_string(nextId_++)", "std::to_string(++nextId_)",
      EVERYTHING),
    # With the destination "/" the configuration says homedir=//Applications/...
    M("blind-config-homedir-slash", WRITER, "volumePath[prefixLength - 1] == '/'",
      "volumePath[prefixLength] == '/'", EVERYTHING),
    # Go Back works on a pane that disabled it.
    M("blind-section-goback-disabled", SECTIONNAV,
      "if (!(forward ? [pane nextEnabled] : [pane previousEnabled])) {",
      "if (forward && ![pane nextEnabled]) {", EVERYTHING),
    # A key of appliance type 9 is refused: "Activation key is invalid for this agent type".
    M("blind-key-type-9", DECODER, 'if (type != "1" && type != "8" && type != "9") {',
      'if (type != "1" && type != "8") {', EVERYTHING),
    # Two kelvory-activate runs at once both append a block: the lock is let go at once.
    M("blind-activate-lock-early", RUNGUARD, "        return LockResult::kTaken;  // the descriptor",
      "        close(fd);\n        return LockResult::kTaken;  // the descriptor", EVERYTHING),
    # doctor --strict exits 0 when exactly one warning was given.
    M("blind-doctor-strict-one", DOCTOR, "!(request.strict && !report[\"warnings\"].empty())",
      "!(request.strict && report[\"warnings\"].size() > 1)", EVERYTHING),
    # A SIGHUP to kelvory-installer leaves the validation tool (and the X server) running.
    M("blind-host-sighup", GUARD, "for (int signal : {SIGTERM, SIGINT, SIGHUP})",
      "for (int signal : {SIGTERM, SIGINT})", EVERYTHING),
    # An https endpoint without a port in a key gets port 80 instead of 443.
    M("blind-endpoint-https-port", ENDPOINT, 'portText = protocol == "http" ? "80" : "443";',
      'portText = "80";', EVERYTHING),
    # A destination path holding a line break is accepted and splits the configuration file.
    M("blind-config-newline-path", WRITER,
      "    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {\n      return VolumePrefixResult",
      "    if (static_cast<unsigned char>(c) < 0x0A || c == 0x7F) {\n      return VolumePrefixResult",
      EVERYTHING),
    # kelvory-activate --json lacks the "configWritten" field.
    M("blind-activate-json-configwritten", "tools/kelvory-activate/Report.mm",
      '{"attempts", attempts},\n                          {"configWritten", r.configWritten},\n',
      '{"attempts", attempts},\n', EVERYTHING),
    # --port is ignored when --protocol is given too: the protocol's default port is used.
    M("blind-source-port-with-protocol", SOURCE, "  if (t.port) {", "  if (t.port && !t.protocol) {",
      EVERYTHING),
    # A proxy from InstallationData.xml is filled in but its check box stays off (no -x).
    M("blind-prefill-proxy-off", INPUT, "    input->proxyOption = 1;\n", "", EVERYTHING),
    # An existing world-readable install log stays world-readable.
    M("blind-log-world-readable", LOG, "(info.st_mode & 077) != 0", "(info.st_mode & 070) != 0",
      EVERYTHING),
    # With an activation key the proxy is not passed to the tool (no -x).
    M("blind-valid-proxy-with-key", TOOLRUN,
      "if (!request.proxy.empty()) argv.insert(argv.end(), {\"-x\", request.proxy});",
      "if (!request.proxy.empty() && request.applianceId == 0)\n"
      "    argv.insert(argv.end(), {\"-x\", request.proxy});", EVERYTHING),
    # keytool endpoint --json lacks "errorMessage".
    M("blind-keytool-endpoint-json", "tools/kelvory-keytool/Endpoint.cpp",
      '{"port", e.port},\n               {"errorMessage", e.errorMessage}});',
      '{"port", e.port}});', EVERYTHING),
    # keytool prefill shows the customer name as the customer ID.
    M("blind-prefill-customer-id", PREFILL,
      'values["customerId"] = KLStdString([record customerId]);',
      'values["customerId"] = KLStdString([record customerName]);', EVERYTHING),
    # A "# comment" line in a host script is an error: unknown step "#".
    M("blind-script-comment", SCRIPT, "if (IsBlank(line) || line[0] == '#') continue;",
      "if (IsBlank(line)) continue;", EVERYTHING),
    # A key with appliance ID 2147483648 is accepted (as a negative ID).
    M("blind-appliance-id-overflow", HELPER, "  if (magnitude > limit) {",
      "  if (magnitude > limit + 1) {", EVERYTHING),
    # A pre-fill path with a line break writes a forged entry into the install log.
    M("blind-prefill-log-unescaped", PREFILLFILE,
      'EscapeControlCharacters(path) + " has been found\\n"',
      'path + " has been found\\n"', EVERYTHING),
    # kelvory-activate --key ... --proxy P validates without the proxy.
    M("blind-activate-proxy-with-key", "tools/kelvory-activate/CommandLineSources.mm", "if (o.hasProxy) request.typed.proxy = o.proxy;",
      "if (o.hasProxy && !o.hasKey) request.typed.proxy = o.proxy;", EVERYTHING),
    # The configuration's [main] section says loglevel=2 instead of 3.
    M("blind-config-loglevel", WRITER, '"kelvor.log", "3"', '"kelvor.log", "2"', EVERYTHING),
    # A proxy typed with spaces around it is passed on with them.
    M("blind-proxy-untrimmed", INPUT, "    KLHelper::TrimSpace(out.proxy);\n", "", EVERYTHING),
    # The simulator registers an appliance whose hostName is "".
    M("blind-sim-empty-hostname", "tools/kelvory-mgmt-sim/Simulator.h",
      '!body["hostName"].is_string() ||\n        body["hostName"].get<std::string>().empty()) {',
      '!body["hostName"].is_string()) {', EVERYTHING),
]
MUTATIONS += BLIND

# Written blind a second time (2026-12-07), over the code as the managed-installs and hardening
# work left it, by someone who had read no test: the README, the documentation and the
# production code only. First run: see the README.
BLIND2 = [
    # A key of agent type 9 is refused with "Activation key is invalid for this agent type".
    M("blind2-decode-type9", "installer/ActDlg/KLKeyDecoder.cpp",
      r'if (type != "1" && type != "8" && type != "9") {',
      r'if (type != "1" && type != "8") {',
      EVERYTHING),
    # A key endpoint "https://host" without a port gets port 80 instead of 443 (decode, config).
    M("blind2-endpoint-https-port80", "installer/common/KLEndPoint.cpp",
      r'portText = protocol == "http" ? "80" : "443";',
      r'portText = "80";',
      EVERYTHING),
    # An appliance identifier of 2147483648 is accepted (as a negative number) instead of
    # "Unknown error"; a text-file number one past the 32-bit limit wraps instead of saturating.
    M("blind2-int32-one-past-limit-wraps", "installer/common/KLHelper.cpp",
      r'if (magnitude > limit) {',
      r'if (magnitude > limit + 1) {',
      EVERYTHING),
    # In the key=value text form, useSecureConnection=2 (or -1) is read as http, not https.
    M("blind2-text-secure-only-one", TEXTREADER,
      r'isHTTPS = KLHelper::Atoi32(value) != 0;',
      r'isHTTPS = KLHelper::Atoi32(value) == 1;',
      EVERYTHING),
    # <Protocol>HTTPS</Protocol> is read as https although the doctor warns it is read as http.
    M("blind2-xml-protocol-any-case", XMLREADER,
      r'isHTTPS = [value isEqualToString:@"https"];',
      r'isHTTPS = [[value lowercaseString] isEqualToString:@"https"];',
      EVERYTHING),
    # The last address of a server list is never tried: failover stops one address early.
    M("blind2-last-server-skipped", "installer/ActDlg/KLTextDataProvider.mm",
      r'if (currentURLArrayIndex < static_cast<int64_t>([list count])) {',
      r'if (currentURLArrayIndex + 1 < static_cast<int64_t>([list count])) {',
      EVERYTHING),
    # A configuration profile with two payloads for com.kelvory.activation is read (the last
    # one wins) instead of being refused with "...; keep one".
    M("blind2-profile-two-payloads", MANAGED,
      r'if (names.size() == 1) return values;',
      r'if (!names.empty()) return values;',
      EVERYTHING),
    # kelvory-activate --protocol https sets port 80 and --protocol http port 443.
    M("blind2-protocol-port-swapped", "installer/ActDlg/KLActivationSource.mm",
      r'input->port = input->https ? @"443" : @"80";',
      r'input->port = input->https ? @"80" : @"443";',
      EVERYTHING),
    # Port 65536 in the customer form is refused with "Port is out of range".
    M("blind2-port-65536-refused", "installer/ActDlg/KLActivationInput.mm",
      r'if (static_cast<uint32_t>(out->port) >= 65537u) {',
      r'if (static_cast<uint32_t>(out->port) >= 65536u) {',
      EVERYTHING),
    # A pre-fill with a customer ID but no name switches to the customer form and alerts
    # "Customer name can not be empty" (the doctor's likely cause disappears) instead of
    # keeping the key form.
    M("blind2-prefill-half-customer", "installer/ActDlg/KLActivationInput.mm",
      r'} else if ([[record customerId] length] != 0 && [[record customerName] length] != 0) {',
      r'} else if ([[record customerId] length] != 0 || [[record customerName] length] != 0) {',
      EVERYTHING),
    # (blind2-pane-no-data-tries-to-pass, which dropped the pane's own test for a record without
    # activation data, was equivalent: the source choice hands on no such record. The test it
    # mutated is gone.)
    # After "Validation Failed" the Go Back button stays disabled: the user cannot correct
    # the activation data.
    M("blind2-verdict-back-disabled", "installer/validation/ValidDlgPane.mm",
      r'[self setPreviousEnabled:YES];',
      r'[self setPreviousEnabled:succeeded];',
      EVERYTHING),
    # A validation tool killed by a signal counts as a success ("Validation Succeeded", the
    # configuration appended) instead of "Launch script failed".
    M("blind2-signal-counts-success", "installer/validation/KLValidationTool.cpp",
      r'return status == 0 ? std::string() : std::string("Launch script failed");',
      r'return std::string();',
      EVERYTHING),
    # A tool that cannot be executed is reported with status -1 (nothing started) instead of
    # 127 in kelvory-activate's attempts.
    M("blind2-not-executed-minus-one", SUPERVISOR,
      r'return (report.value == EAGAIN || report.value == ENOMEM) ? -1 : kNotExecutedStatus;',
      r'return (report.value == EAGAIN || report.value == ENOMEM) ? kNotExecutedStatus : -1;',
      EVERYTHING),
    # homedir in /tmp/kelvor.conf lacks the "/" before "Applications" for a target like
    # /Volumes/Disk, and gets "//" for "/".
    M("blind2-homedir-slash-inverted", "installer/validation/KLConfigWriter.cpp",
      r'endsInSeparator ? "" : "/"',
      r'endsInSeparator ? "/" : ""',
      EVERYTHING),
    # A key with exactly two endpoints writes endpoint_size=1 and no server_1/protocol_1/port_1.
    M("blind2-second-endpoint-dropped", "installer/validation/KLConfigWriter.cpp",
      r'const int32_t count = n >= 2 ? 2 : 1;',
      r'const int32_t count = n > 2 ? 2 : 1;',
      EVERYTHING),
    # A line break in a logged value (the pre-fill path, a server message) starts a forged
    # line of its own in /tmp/kelvor_install.log instead of being written as \n.
    M("blind2-log-newline-unescaped", "installer/common/KLInstallLog.cpp",
      r'escaped += "\\n";',
      r'escaped += "\n";',
      EVERYTHING),
    # Two kelvory-activate runs at once both get the lock and can leave two blocks in
    # /tmp/kelvor.conf.
    M("blind2-lock-shared", "tools/kelvory-activate/RunGuard.cpp",
      r'if (flock(fd, LOCK_EX | LOCK_NB) == 0) {',
      r'if (flock(fd, LOCK_SH | LOCK_NB) == 0) {',
      EVERYTHING),
    # With --retry, a round whose first address refused the customer but whose last could not
    # connect is walked again instead of ending at once as failed.
    M("blind2-retry-last-attempt-only", "tools/kelvory-activate/Activate.mm",
      r'unreachable && ShellStatus(status) == static_cast<int>(ToolExitCode::kCannotConnect);',
      r'ShellStatus(status) == static_cast<int>(ToolExitCode::kCannotConnect);',
      EVERYTHING),
    # kelvory-activate exits 4 when every validation failed and 3 when the configuration could
    # not be appended (the other way round from the exit-code table).
    M("blind2-exit-3-4-swapped", "tools/kelvory-activate/Activate.mm",
      r'outcome.message.empty() ? ExitCode::kConfigError : ExitCode::kFailed);',
      r'outcome.message.empty() ? ExitCode::kFailed : ExitCode::kConfigError);',
      EVERYTHING),
    # The JSON report says "rounds": 1 for a run in which no tool ran (refused, no data,
    # already activated, dry run) instead of 0.
    M("blind2-json-rounds-without-run", "tools/kelvory-activate/Report.mm",
      r'const int rounds = r.attempts.empty() ? 0 : r.attempts.back().round;',
      r'const int rounds = r.attempts.empty() ? 1 : r.attempts.back().round;',
      EVERYTHING),
    # --unless-activated skips a command-line install (COMMAND_LINE_INSTALL=1) when a block is
    # present, and never skips when the variable holds anything else.
    M("blind2-cli-install-skips", "tools/kelvory-activate/PriorActivation.cpp",
      r'if (commandLine != nullptr && std::string(commandLine) == "1") return false;',
      r'if (commandLine != nullptr && std::string(commandLine) != "1") return false;',
      EVERYTHING),
    # kelvory-keytool decode --json prints "applianceID" instead of "applianceId".
    M("blind2-decode-json-key", "tools/kelvory-keytool/Decode.cpp",
      r'PrintJson({{"applianceId", id}, {"endpoints", list}});',
      r'PrintJson({{"applianceID", id}, {"endpoints", list}});',
      EVERYTHING),
    # The doctor gives no first-word-only warning for customerName=Demo Customer (two words);
    # only a value of three words or more is warned about.
    M("blind2-first-word-no-warning", TEXTREADER,
      r'} else if (value != NULL && strtok_r(NULL, kTextSeparators, &rest) != NULL) {',
      r'} else if (value != NULL && strtok_r(NULL, kTextSeparators, &rest) != NULL &&'
      r' strtok_r(NULL, kTextSeparators, &rest) != NULL) {',
      EVERYTHING),
    # kelvory-installer exits 1 instead of 2 on a usage error (an unknown option, --script
    # with --headless).
    M("blind2-host-usage-status", "tools/kelvory-installer/HostOptions.cpp",
      r'return 2;',
      r'return 1;',
      EVERYTHING),
    # A script with CRLF line endings fails ("unknown step" / "takes nothing after it").
    M("blind2-script-crlf", SCRIPT,
      r"if (!line.empty() && line.back() == '\r') line.pop_back();",
      r"if (!line.empty() && line.back() == '\n') line.pop_back();",
      EVERYTHING),
    # InitialValidate with several option faults exits with the highest code instead of the
    # lowest (a missing -f and -l gives 7, not 3).
    M("blind2-iv-highest-code", "tools/InitialValidate/Options.cpp",
      r'if (lowest == ToolExitCode::kOk || code < lowest) lowest = code;',
      r'if (lowest == ToolExitCode::kOk || code > lowest) lowest = code;',
      EVERYTHING),
    # The [server] section written by InitialValidate names the proxy "proxy=" instead of
    # "proxy_0=".
    M("blind2-iv-proxy-key", "tools/InitialValidate/ConfFile.cpp",
      r'if (!o.proxy.empty()) text += "\tproxy_0=" + o.proxy + "\n";',
      r'if (!o.proxy.empty()) text += "\tproxy=" + o.proxy + "\n";',
      EVERYTHING),
    # The simulator registers a customer whose ID is listed in "refuseRegistration" (only
    # appliance IDs are refused), so code 15 never comes for a customer.
    M("blind2-sim-refuse-customer-ignored", "tools/kelvory-mgmt-sim/Simulator.h",
      r'if (directory_.refuseRegistration.count(key)) {',
      r'if (directory_.refuseRegistration.count(r.appliance)) {',
      EVERYTHING),
    # postinstall writes "Kelvory activated: ..." instead of "Kelvory activation skipped: the
    # installer's panes already activated (...)" when the panes already ran.
    M("blind2-postinstall-skip-line", "packaging/macos/postinstall",
      r'if [ "$status" -eq 0 ] && [ "$outcome" = already-activated ]; then',
      r'if [ "$status" -eq 0 ] && [ "$outcome" = already_activated ]; then',
      EVERYTHING),
]
MUTATIONS += BLIND2

# Written blind a third time (2026-12-07), the same way, over the code as the restructuring left
# it (one concern per file, the platform's libraries, the tools split). First run: see the README.
BLIND3 = [
    # ---------------------------------------------------------------- installer/ (10)
    # After "Validation Failed" the Continue button is enabled: the user can go on to install
    # with activation data the server refused.
    M("blind3-vpane-continue-after-failure", "installer/validation/ValidDlgPane.mm",
      r'[self setNextEnabled:succeeded];',
      r'[self setNextEnabled:YES];',
      EVERYTHING),
    # A validation tool that cannot be executed (status 127) is reported as "Launch script
    # returned unexpected error code: 127" instead of "Launch script failed".
    M("blind3-tool-127-unexpected-code", "installer/validation/KLValidationTool.cpp",
      r'if (status == -1 || code == 127) return "Launch script failed";',
      r'if (status == -1) return "Launch script failed";',
      EVERYTHING),
    # The [main] section's logfilename loses the "/" before kelvor.log:
    # logfilename=/var/log/Tervox/Kelvorykelvor.log, so the agent logs to the wrong place.
    M("blind3-config-logdir-no-slash", "installer/validation/KLConfigWriter.cpp",
      r'volumePath, "/var/log/Tervox/Kelvory/", "kelvor.log"',
      r'volumePath, "/var/log/Tervox/Kelvory", "kelvor.log"',
      EVERYTHING),
    # A customer name typed (or pre-filled) with spaces around it reaches InitialValidate (-c)
    # with those spaces, so the server does not know the customer.
    M("blind3-customer-name-untrimmed", "installer/ActDlg/KLActivationInput.mm",
      r'out->customerName = Trimmed(KLCopyUTF8(in.customerName, kNameBuffer));',
      r'out->customerName = KLCopyUTF8(in.customerName, kNameBuffer);',
      EVERYTHING),
    # In the key=value text form a key is matched by its prefix: "portal=1" sets the port,
    # "serverURLs=x" the server, instead of being ignored.
    M("blind3-text-key-prefix-match", TEXTREADER,
      r'strcmp(key, field.textKey) == 0',
      r'strncmp(key, field.textKey, strlen(field.textKey)) == 0',
      EVERYTHING),
    # A profile with ProxyURL but no ProxyPort hands the tool "-x proxy.example.com:0" instead
    # of the proxy host alone.
    M("blind3-profile-proxy-port-zero", "installer/ActDlg/prefill/KLManagedValues.mm",
      r'if (proxy != nil && proxyPort != 0) {',
      r'if (proxy != nil) {',
      EVERYTHING),
    # The install log file is never closed after an entry: the entry stays in the stdio buffer
    # until the process exits (so it lands after the tool's own entries, or never when the
    # process is killed), and a descriptor leaks per entry.
    M("blind3-install-log-not-closed", "installer/common/KLInstallLog.cpp",
      "  DumpLog(file, message, detail);\n  fclose(file);\n",
      "  DumpLog(file, message, detail);\n",
      EVERYTHING),
    # --unless-activated no longer recognizes a complete block written for a key with two
    # endpoints (endpoint_size=2 and the server_1/protocol_1/port_1 lines): the postinstall
    # activates a second time after the panes already did.
    M("blind3-appended-block-three-lines", "installer/validation/KLConfigWriter.cpp",
      r'while (lines.size() < 4 && end > 0) {',
      r'while (lines.size() < 3 && end > 0) {',
      EVERYTHING),
    # kelvory-keytool encode writes a key whose length is 2 mod 3 with "A" instead of the
    # final "=" padding: the key differs from standard base64 and decodes with a stray NUL.
    M("blind3-base64-encode-padding", "installer/common/KLHelper.cpp",
      r"out.push_back(left > 2 ? cvt[b2 & 0x3F] : '=');",
      r"out.push_back(left > 1 ? cvt[b2 & 0x3F] : '=');",
      EVERYTHING),
    # kelvory-activate with profile data and --package also logs "InstallationData.xml was not
    # found -- Nobody is prompted" (or "... has been found") although the profile answered.
    M("blind3-file-logged-after-profile", "installer/ActDlg/KLActivationSource.mm",
      "    if (managedData) fileRequest.prefillLog = KLPrefillLog::kNone;\n",
      "",
      EVERYTHING),

    # ---------------------------------------------------------------- platform/ (3)
    # gotoNextPane on the section's last pane succeeds and finishes the section instead of
    # being refused.
    M("blind3-twin-goto-next-past-last",
      "platform/gnustep/InstallerPlugins/InstallerSection+Navigation.m",
      r'BOOL possible = target >= 0 && target < (NSInteger)[_panes count];',
      r'BOOL possible = target >= 0 && target <= (NSInteger)[_panes count];',
      EVERYTHING),
    # Every pane starts with Go Back disabled: the user cannot go back from a pane that never
    # enabled it explicitly.
    M("blind3-twin-back-disabled-by-default", "platform/gnustep/InstallerPlugins/InstallerPane.m",
      r'    _previousEnabled = YES;',
      r'    _previousEnabled = NO;',
      EVERYTHING),
    # On GNUstep a critical alert shows no button at all (no default "OK"), so Return cannot
    # close it and the user is stuck in the panel.
    M("blind3-gnustep-alert-no-ok", "platform/gnustep/KLPlatformGNUstep.mm",
      r'NSRunCriticalAlertPanel(nil, @"%@", @"OK", nil, nil, KLNSString(message));',
      r'NSRunCriticalAlertPanel(nil, @"%@", nil, nil, nil, KLNSString(message));',
      EVERYTHING),

    # ---------------------------------------------------------------- tools/kelvory-activate (4)
    # With --retry the first pause is drawn below 4 s (then 8, 16 ...) instead of below 2 s:
    # every round waits about twice as long as documented.
    M("blind3-activate-first-pause-doubled", "tools/kelvory-activate/RetryPause.h",
      r'std::ldexp(kFirstRoundPauseSeconds, std::min(round - 1, 16))',
      r'std::ldexp(kFirstRoundPauseSeconds, std::min(round, 16))',
      EVERYTHING),
    # The last "outcome: message" line is printed unescaped: a server message or path with a
    # line break forges the last line the postinstall reads.
    M("blind3-activate-message-unescaped", "tools/kelvory-activate/Report.mm",
      r'std::printf("%s: %s\n", r.outcome.c_str(), PlainValue(r.message).c_str());',
      r'std::printf("%s: %s\n", r.outcome.c_str(), r.message.c_str());',
      EVERYTHING),
    # SIGHUP kills kelvory-activate outright (no "interrupted", exit 6, and the validation tool
    # is not ended by it) instead of stopping the run cleanly.
    M("blind3-activate-sighup-default", "tools/kelvory-activate/RunGuard.cpp",
      r'for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGALRM}) {',
      r'for (const int signal : {SIGTERM, SIGINT, SIGALRM}) {',
      EVERYTHING),
    # --managed-preferences without a file on a machine where no profile is forced (every
    # non-managed Mac, Linux) is refused (exit 1, "Cannot read the managed preferences : no
    # managed preferences are forced...") instead of going on to the pre-fill file.
    M("blind3-activate-unforced-profile-refused", "tools/kelvory-activate/CommandLineSources.mm",
      r'if (look.kind == KLSourceKind::kManagedPreferences && !o.managedPath.empty()) {',
      r'if (look.kind == KLSourceKind::kManagedPreferences) {',
      EVERYTHING),

    # ---------------------------------------------------------------- tools/kelvory-installer (3)
    # Script errors name the wrong line ("line 2:" for a mistake on line 3), and so do the
    # runner's messages.
    M("blind3-script-line-off-by-one", "tools/kelvory-installer/script/ScriptParser.cpp",
      r'for (int number = 1; start < text.size(); ++number) {',
      r'for (int number = 0; start < text.size(); ++number) {',
      EVERYTHING),
    # "back" on the first pane is no longer reported as "ignored: back" in the transcript.
    M("blind3-host-back-first-pane-silent", "tools/kelvory-installer/HostWindow.mm",
      r'if (pane == nil || pane == [panes objectAtIndex:0] || ![pane previousEnabled]) return NO;',
      r'if (pane == nil || ![pane previousEnabled]) return NO;',
      EVERYTHING),
    # An alert whose one button is not the default "OK" (e.g. "OK" without Return, or
    # "Close (default)") gives no "alert buttons:" line in the transcript.
    M("blind3-alert-buttons-count-only", "tools/kelvory-installer/AlertCapture.mm",
      r'if (count != 1 || buttons != "OK (default)") kl::host::Say("alert buttons: " + buttons);',
      r'if (count != 1) kl::host::Say("alert buttons: " + buttons);',
      EVERYTHING),

    # ---------------------------------------------------------------- tools/kelvory-keytool (3)
    # kelvory-keytool decode numbers the endpoints from 0 ("endpoint 0: ...").
    M("blind3-decode-endpoint-from-zero", "tools/kelvory-keytool/Decode.cpp",
      r'std::printf("endpoint %zu: protocol=%s host=%s port=%d\n", i + 1,',
      r'std::printf("endpoint %zu: protocol=%s host=%s port=%d\n", i,',
      EVERYTHING),
    # doctor --probe says an https server is reachable when the TCP connection works but the
    # TLS handshake (certificate) fails, and gives no "unreachable" warning.
    M("blind3-probe-tls-ignored", "tools/kelvory-keytool/doctor/Probe.cpp",
      r'r.reachable = r.connected && r.tls.value_or(true);',
      r'r.reachable = r.connected;',
      EVERYTHING),
    # doctor gives no port-range warning for a proxy with port 0 ("proxy.example.com:0").
    M("blind3-doctor-proxy-port-zero", "tools/kelvory-keytool/doctor/Warnings.mm",
      r'if (port == 0 || port > 65535) {',
      r'if (port > 65535) {',
      EVERYTHING),

    # ---------------------------------------------------------------- tools/InitialValidate (3)
    # InitialValidate accepts -n 0 (and goes on to connect to port 0) instead of exiting 1.
    M("blind3-iv-port-zero", "tools/InitialValidate/Options.cpp",
      r'return value >= 1 && value <= 65536;',
      r'return value >= 0 && value <= 65536;',
      EVERYTHING),
    # A configuration file with a second hard link is replaced instead of refused with code 16.
    M("blind3-iv-conf-hardlink-accepted", "tools/InitialValidate/ConfFile.cpp",
      "  if (st.st_nlink != 1) return \"it has more than one link\";\n",
      "",
      EVERYTHING),
    # An IPv6 server (-s ::1 or -s [::1]) is put into the URL without brackets, so the tool
    # cannot connect (code 10).
    M("blind3-iv-ipv6-no-brackets", "tools/InitialValidate/ServerClient.cpp",
      r"const bool ipv6 = options.server.find(':') != std::string::npos;",
      r"const bool ipv6 = options.server.find('[') != std::string::npos;",
      EVERYTHING),

    # ---------------------------------------------------------------- tools/kelvory-mgmt-sim (2)
    # The simulator rejects a customer given by name alone (no ID) as "customerId" instead of
    # validating it.
    M("blind3-sim-name-only-rejected", "tools/kelvory-mgmt-sim/Directory.cpp",
      r'if (r.id.empty() || c.id == r.id) {',
      r'if (c.id == r.id) {',
      EVERYTHING),
    # When every connection is taken, the simulator sheds the connection that began waiting
    # most recently instead of the one that has waited longest: slow clients keep their slots.
    M("blind3-sim-sheds-newest", "tools/kelvory-mgmt-sim/Connections.h",
      r'if (oldest == open_.end() || c->awaited < oldest->awaited) oldest = c;',
      r'if (oldest == open_.end() || c->awaited > oldest->awaited) oldest = c;',
      EVERYTHING),

    # ---------------------------------------------------------------- elsewhere (2)
    # postinstall passes the Installer's $2 (the destination path) as --target instead of $3
    # (the target volume): homedir and the prior-activation check use the wrong volume.
    M("blind3-postinstall-target-arg", "packaging/macos/postinstall",
      r'--target "${3:-/}"',
      r'--target "${2:-/}"',
      EVERYTHING),
    # postinstall cuts the message at the last ": " instead of the first: install.log gets only
    # the tail of a message such as "No activation data ... Looked at: ...: no such file ...".
    M("blind3-postinstall-message-tail", "packaging/macos/postinstall",
      r'message=${last#*: }',
      r'message=${last##*: }',
      EVERYTHING),
]
MUTATIONS += BLIND3

# A fourth set written blind, over the fence check, postinstall, --retry's last pause, the key tool and the panes' key view.
FENCES = "scripts/check-fences.py"
POSTINSTALL = "packaging/macos/postinstall"
ACTIVATION = "tools/kelvory-activate/Activate.mm"
BLIND4 = [
    # ---------------------------------------------------------------- scripts/check-fences.py (3)
    # __linux__ is no longer undefined for unifdef: a `#if defined(__linux__)` block is left as
    # it is, so every Linux-only call inside a proper fence is reported as a finding.
    M("blind4-fences-linux-kept", FENCES,
      'UNDEFINED = ["__linux__", "__linux", ',
      'UNDEFINED = ["__linux", ',
      ("fences",)),
    # unifdef's status 1 ("the output differs from the input") is taken for a failure: any file
    # with a fence to resolve makes the check exit 2 with "unifdef failed".
    M("blind4-fences-unifdef-status", FENCES,
      "if done.returncode > 1:",
      "if done.returncode != 0:",
      ("fences",)),
    # unifdef deletes the lines Apple's compiler would not see instead of blanking them: the
    # line numbers of findings after a fence are wrong, and string literals are matched against
    # the wrong lines.
    M("blind4-fences-lines-not-kept", FENCES,
      '["unifdef", "-l"]',
      '["unifdef"]',
      ("fences",)),

    # ---------------------------------------------------------------- packaging/macos/postinstall (3)
    # The function is called without the script's arguments: in it "${3:-/}" is always "/", so
    # kelvory-activate gets --target / whatever volume the Installer named.
    M("blind4-postinstall-args-dropped", POSTINSTALL,
      '  activate "$@" >"$out" &',
      '  activate >"$out" &',
      ("e2e",)),
    # One stop signal caught no longer makes the script wait again: its status is the
    # interrupted wait's (above 128), and it reads the output before kelvory-activate wrote its
    # last line.
    M("blind4-postinstall-one-signal-no-rewait", POSTINSTALL,
      'while [ "$caught" -gt 0 ] && [ "$status" -gt 128 ]; do',
      'while [ "$caught" -gt 1 ] && [ "$status" -gt 128 ]; do',
      ("e2e",)),
    # A /tmp/kelvor.conf or /tmp/kelvor_install.log of our own user is named as "belongs to
    # another user" when the configuration or log cannot be accessed.
    M("blind4-postinstall-own-file-blamed", POSTINSTALL,
      'if [ -n "$uid" ] && [ "$uid" != "$(id -u)" ]; then',
      'if [ -n "$uid" ]; then',
      ("e2e",)),

    # ---------------------------------------------------------------- --retry's last pause (2)
    # min becomes max: every pause lasts at least until one second before the time limit, so
    # the first failed round waits out nearly the whole --timeout.
    M("blind4-retry-pause-max", ACTIVATION,
      "std::min(PauseAfterRound(round, random),",
      "std::max(PauseAfterRound(round, random),",
      ("activate_test",)),
    # The shortened pause leaves no allowance: it runs up to the time limit itself, and the last
    # round is cut off at once ("timed-out" instead of "failed" for a server never reached).
    M("blind4-retry-no-allowance", ACTIVATION,
      "SecondsBeforeTimeLimit() - kRoundAllowanceSeconds);",
      "SecondsBeforeTimeLimit());",
      ("activate_test",)),

    # ---------------------------------------------------------------- the key tool (1)
    # (blind4-keytool-port-zero-quiet, port 0 without a warning, was equivalent: the decoder
    # refuses a port below 1, so no key endpoint with one reaches the check. Removed.)
    # encode writes its port warning on standard output, before the key, instead of on
    # standard error: a script that takes the key from standard output gets the warning too.
    M("blind4-encode-warning-stdout", "tools/kelvory-keytool/Encode.cpp",
      'std::cerr << "kelvory-keytool: warning: " << text << "\\n";',
      'std::cout << "kelvory-keytool: warning: " << text << "\\n";',
      ("keytool_test",)),
    # (blind4-doctor-missing-profile-no-data, the found test dropped, was equivalent: a profile
    # that is not found always has a problem already. Removed.)

    # ---------------------------------------------------------------- the activation pane (2)
    # The initial key view is swapped: the customer-name field when the key form is shown, the
    # key field when the customer form is shown.
    M("blind4-pane-key-view-swapped", PANE,
      "m_iActivationOption == 1 ? klCustomerNameField",
      "m_iActivationOption == 0 ? klCustomerNameField",
      ("pane_test", "e2e")),
    # The customer form focuses the customer ID field (its second field) instead of the name.
    M("blind4-pane-key-view-customer-id", PANE,
      "? klCustomerNameField : klActivationKeyField)]",
      "? klCustomerIdField : klActivationKeyField)]",
      ("pane_test", "e2e")),

    # ---------------------------------------------------------------- KLActivationInput (1)
    # The console line "The package's location is not known" is said when the package is known
    # (a folder without InstallationData.xml) and not when no package is named.
    M("blind4-input-console-line-inverted", PREFILLFILE,
      "if (log == KLPrefillLog::kPane && path.empty()) {",
      "if (log == KLPrefillLog::kPane && !path.empty()) {",
      ("pane_test", "e2e")),

    # ---------------------------------------------------------------- the simulator's stopper (2)
    # The stopper's condition is inverted: SIGTERM or SIGINT no longer stops the server, and the
    # simulator keeps running until killed.
    M("blind4-sim-stop-inverted", SIM,
      "if (!finished) server.stop();",
      "if (finished) server.stop();",
      ("initialvalidate_test", "e2e")),
    # A stop signal that comes before the server loop runs is lost: stop() is called on a server
    # not yet running, and the loop then runs until killed.
    M("blind4-sim-early-signal-lost", SIM,
      "    while (!finished && !server.is_running())\n"
      "      std::this_thread::sleep_for(std::chrono::milliseconds(10));\n",
      "",
      ("initialvalidate_test", "e2e")),

    # ---------------------------------------------------------------- the waiter (2)
    # The fence is the wrong way round: Linux forks (the waiter goes on to report the tool
    # started before the child has executed, or failed to), and a Mac calls vfork.
    M("blind4-waiter-fence-swapped", WAITER,
      "#if defined(__linux__)\n  const pid_t tool = vfork();",
      "#if defined(__APPLE__)\n  const pid_t tool = vfork();",
      ("validation_test", "fences")),
    # The fence is dropped: vfork on a Mac too, an error under -Werror with Apple's SDK. Only the
    # fence check can see it on Linux.
    M("blind4-waiter-fence-dropped", WAITER,
      "#if defined(__linux__)\n  const pid_t tool = vfork();\n#else\n"
      "  const pid_t tool = fork();  // vfork is deprecated in Apple's SDK\n#endif\n",
      "  const pid_t tool = vfork();\n",
      ("validation_test", "fences")),
]
MUTATIONS += BLIND4

# The panes' languages and what they tell VoiceOver; each was applied by hand once and caught.
MUTATIONS += [
    # Every text in English whatever the language.
    M("l10n-bundle-ignored", PANETEXT, "  if (bundle == nil) return english;",
      "  if (bundle != nil) return english;", ("l10n_test", "e2e")),
    # An unexpected exit code's number lost from the translated alert.
    M("l10n-number-dropped", PANETEXT, "withString:KLNSString(value)]", 'withString:@""]',
      ("l10n_test",)),
    # The verdict's alerts (the tool's messages) left in English.
    M("l10n-verdict-alerts-english", VPANE,
      "    KLScopedPaneAlerts alerts([[self section] bundle]);\n", "", ("l10n_test",)),
    # The caption column stays 124 points wide: a longer caption is cut.
    M("l10n-column-fixed", AVIEWS,
      "for (NSString* caption : captions) column = std::max(column, CaptionWidth(caption));",
      "for (NSString* caption : captions) (void)CaptionWidth(caption);", ("pane_test",)),
    # Fields start under their captions.
    M("l10n-field-under-caption", AVIEWS, "  const CGFloat fieldX = column + kGap;",
      "  const CGFloat fieldX = column - kGap;", ("pane_test",)),
    # The validation pane's caption on one line: cut in French and German.
    M("l10n-caption-no-wrap", VVIEWS,
      "  [[caption cell] setWraps:YES];  // two lines where a language needs them\n", "",
      ("pane_test",)),
    # A field's accessibility title not tied to its caption.
    M("a11y-caption-untied", AVIEWS, "KLStdString([caption stringValue]), caption);",
      "KLStdString([caption stringValue]), nullptr);", ("l10n_test",)),
    # The verdict not announced.
    M("a11y-verdict-silent", VPANE,
      "  kl::CurrentPlatform().AnnounceAccessibility(klValidationResult, KLStdString(verdict));",
      "", ("l10n_test",)),

    # ---------------------------------------------------------------- the readers' report (blind)
    # The text reader numbers lines from 0, so the doctor's line-in-pieces warning names a line one too low ("line 0" for the first line).
    M("blind5-text-line-from-zero", "installer/ActDlg/prefill/KLPrefillTextReader.mm", "int lineNumber = 1;", "int lineNumber = 0;", ("keytool_test", "activation_test")),
    # A value cut at a blank or comma is reported with its key as the text read, so the first-word-only warning says only "customerName" is read instead of "Demo".
    M("blind5-text-lost-words-names-key", "installer/ActDlg/prefill/KLPrefillTextReader.mm", "{Kind::kLostWords, key, \"\", value, number}", "{Kind::kLostWords, key, \"\", key, number}", ("keytool_test", "activation_test")),
    # The line-in-pieces report goes to the piece that is cut (and a last line without a line break) rather than to the continuation, naming the wrong key.
    M("blind5-text-piece-is-cut-one", "installer/ActDlg/prefill/KLPrefillTextReader.mm", "const bool pieceOfLine = restOfLine;", "const bool pieceOfLine = bytes[at - 1] != '\\n';", ("keytool_test", "activation_test")),
    # Every known top-level parent (<Customer>, <Server>, <Proxy>) is reported as an unknown element, so every ordinary file gets unknown-name warnings.
    M("blind5-xml-known-parent-unknown", "installer/ActDlg/prefill/KLPrefillXmlReader.mm", "((depth == 2 && parent == nullptr) ||", "((depth == 2) ||", ("keytool_test", "activation_test")),
    # <Protocol>https</Protocol> is reported as protocol text that is not exactly http or https, so a correct https file gets a protocol-text warning.
    M("blind5-xml-https-is-odd-protocol", "installer/ActDlg/prefill/KLPrefillXmlReader.mm", "!isHTTPS && ![value isEqualToString:@\"http\"]", "![value isEqualToString:@\"http\"]", ("keytool_test", "activation_test")),
    # Where the XML parser stopped is recorded with line and column swapped, so messages say "line <column>, column <line>".
    M("blind5-xml-stop-swapped", "installer/ActDlg/prefill/KLPrefillXmlReader.mm", "[parser lineNumber], [parser columnNumber]", "[parser columnNumber], [parser lineNumber]", ("keytool_test", "activation_test", "e2e")),
    # An unknown element inside <Customer>/<Server> gets its "did you mean" suggestion from the top-level names (<Customer>, <Server>...) instead of that element's own children.
    M("blind5-warn-suggest-wrong-level", "tools/kelvory-keytool/doctor/FileWarnings.mm", "kKnown.at(skip.parent)", "kKnown.at(\"\")", ("keytool_test",)),
    # A file that breaks on its first line is called empty ("empty, not a well-formed XML document") and the console loses where the parser stopped.
    M("blind5-source-line1-is-empty", "installer/ActDlg/KLActivationSource.mm", "if (report.stoppedLine == 0) return", "if (report.stoppedLine <= 1) return", ("keytool_test", "activation_test", "activate_test")),
    # keytool prefill prints no reason on stderr for a file that was read but is not well-formed XML (it still exits 1).
    M("blind5-prefill-silent-malformed", "tools/kelvory-keytool/Prefill.mm", "if (!look.problem.empty()) {", "if (record == nil) {", ("keytool_test", "e2e")),
    # The install log's "not found" entry says the user will be prompted when nobody is (windowless runs) and the reverse for the pane.
    M("blind5-file-log-prompt-swapped", "installer/ActDlg/prefill/KLPrefillFile.mm", "log == KLPrefillLog::kPane\n                            ? \"User", "log != KLPrefillLog::kPane\n                            ? \"User", ("activation_test", "activate_test", "pane_test", "e2e")),
]
