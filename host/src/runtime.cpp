// The call record, registration, instance store, host instances, variables of the calling
// context, resources, and the Host that sends messages to a component.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <map>

#include "hostruntime.h"
#include "internal.h"

// ---------------------------------------------------------------------------------------------
// UTF-8 helpers

namespace hostrt {

// The conversions count in 32 bits, so longer texts go through them in parts; a part of UTF-8
// ends before a lead byte, so that no character is split.
const size_t kPart = size_t(1) << 30;

std::u32string toU32(const std::string& utf8) {
  std::u32string out(utf8.size(), U'\0');
  const qbyte* src = reinterpret_cast<const qbyte*>(utf8.data());
  size_t from = 0, n = 0;
  while (from < utf8.size()) {
    size_t part = utf8.size() - from;
    if (part > kPart) {
      part = kPart;
      for (int back = 0; back < 3 && (src[from + part] & 0xC0) == 0x80; ++back) --part;
    }
    n += static_cast<size_t>(CHARconvFromUtf8(src + from, static_cast<qlong>(part), &out[n]));
    from += part;
  }
  out.resize(n);
  return out;
}

std::string fromU32(const std::u32string& s) {
  std::string out(s.size() * 4, '\0');
  size_t from = 0, n = 0;
  while (from < s.size()) {
    const size_t part = s.size() - from < kPart ? s.size() - from : kPart;
    n += static_cast<size_t>(CHARconvToUtf8(s.data() + from, static_cast<qlong>(part),
                                            reinterpret_cast<qbyte*>(&out[n])));
    from += part;
  }
  out.resize(n);
  return out;
}

std::string toUtf8(const EXTfldval& v) { return fromU32(textOf(*v.data())); }

EXTfldval charValue(const std::string& utf8) {
  EXTfldval v;
  const std::u32string s = toU32(utf8);
  if (s.size() > kMaxCharacters)
    throw std::length_error("a character value holds at most " + std::to_string(kMaxCharacters) +
                            " characters, not " + std::to_string(s.size()));
  v.setChar(s.data(), static_cast<qlong>(s.size()));
  return v;
}

}  // namespace hostrt

namespace {

std::string lower(const std::string& s) {
  std::u32string u = hostrt::toU32(s);
  for (qchar& c : u) c = lowC(c);
  return hostrt::fromU32(u);
}

std::string strUtf8(const strxxx& s) {
  return hostrt::fromU32(std::u32string(s.cString(), static_cast<size_t>(s.length())));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Call record

void ECOsetupCallbacks(HWND, EXTCompInfo*) {}

qlong WNDdefWindowProc(HWND, qlong, WPARAM, LPARAM, EXTCompInfo*) { return 0; }

qlong ECOgetParamCount(EXTCompInfo* eci) {
  return eci && eci->mCall ? static_cast<qlong>(eci->mCall->params.size()) : 0;
}

EXTParamInfo* ECOfindParamNum(EXTCompInfo* eci, qlong n) {
  if (!eci || !eci->mCall || n < 1 || static_cast<size_t>(n) > eci->mCall->params.size())
    return nullptr;
  HostCall& call = *eci->mCall;
  if (call.paramInfos.size() != call.params.size()) {
    call.paramInfos.resize(call.params.size());
    for (size_t i = 0; i < call.params.size(); ++i) call.paramInfos[i].mData = call.params[i];
  }
  return &call.paramInfos[static_cast<size_t>(n - 1)];
}

qlong ECOgetId(EXTCompInfo* eci) { return eci ? eci->mMethodId : 0; }

void ECOaddParam(EXTCompInfo* eci, const EXTfldval* val) {
  if (!eci || !eci->mCall || !val) return;
  eci->mCall->result = *val;
  eci->mCall->hasResult = true;
}

void ECOaddParamOwned(EXTCompInfo* eci, EXTfldval* val) {
  if (!eci || !eci->mCall || !val) return;
  eci->mCall->result.take(*val);
  eci->mCall->hasResult = true;
}

void ECOsetParameterChanged(EXTCompInfo* eci, qlong n) {
  if (!eci || !eci->mCall || n < 1) return;
  std::vector<char>& changed = eci->mCall->changed;
  if (static_cast<size_t>(n) <= changed.size()) changed[static_cast<size_t>(n - 1)] = 1;
}

void ECOaddResult(EXTCompInfo* eci, const EXTfldval* val) {
  if (eci && eci->mCall && val) eci->mCall->results.push_back(*val);
}

// ---------------------------------------------------------------------------------------------
// Instance store

qbool ECOinsertNVObject(InstanceStore* store, objinst inst, void* object) {
  if (!store) return qfalse;
  store->objects[inst] = object;
  return qtrue;
}

void* ECOfindNVObject(InstanceStore* store, objinst inst) {
  if (!store) return nullptr;
  auto it = store->objects.find(inst);
  return it == store->objects.end() ? nullptr : it->second;
}

qbool ECOremoveNVObject(InstanceStore* store, objinst inst) {
  return store && store->objects.erase(inst) > 0;
}

// ---------------------------------------------------------------------------------------------
// Host instances

namespace {

struct Instances {
  std::map<objinst, std::string> names;
  std::map<std::string, objinst> byName;
  objinst next = 0x1000;
  std::vector<hostrt::RecordedCall> calls;
};

Instances& instances() {
  static Instances all;
  return all;
}

}  // namespace

namespace hostrt {

objinst newInstance(const std::string& name) {
  Instances& all = instances();
  const objinst id = all.next++;
  all.names[id] = name;
  all.byName[name] = id;
  return id;
}

objinst findInstance(const std::string& name) {
  auto it = instances().byName.find(name);
  return it == instances().byName.end() ? 0 : it->second;
}

std::string instanceName(objinst inst) {
  auto it = instances().names.find(inst);
  return it == instances().names.end() ? std::string() : it->second;
}

const std::vector<RecordedCall>& recordedCalls() { return instances().calls; }
void clearRecordedCalls() { instances().calls.clear(); }

}  // namespace hostrt

qbool ECOdoMethod(objinst inst, const strxxx* name, EXTfldval* params, qlong count, qlong,
                  EXTfldval*) {
  hostrt::RecordedCall call;
  call.inst = inst;
  call.method = name ? strUtf8(*name) : std::string();
  for (qlong i = 0; params && i < count; ++i) call.params.push_back(params[i]);
  instances().calls.push_back(std::move(call));
  return instances().names.count(inst) > 0;
}

// ---------------------------------------------------------------------------------------------
// Calling context

HostContext::HostContext() { cinst.setEmpty(fftRow); }

EXTfldval* HostContext::findVar(const std::string& name) {
  auto it = mVars.find(lower(name));
  return it == mVars.end() ? nullptr : it->second.get();
}

void HostContext::setVar(const std::string& name, const EXTfldval& value) {
  const std::string key = lower(name);
  auto it = mVars.find(key);
  if (it != mVars.end()) {
    *it->second = value;
    return;
  }
  mVars[key].reset(new EXTfldval(value));
  mOrder.push_back(name);
}

std::vector<std::string> HostContext::varNames() const { return mOrder; }

namespace {

// The column of list l named name (ignoring case), 0 when none.
qshort columnNamed(const EXTqlist& l, const std::u32string& name) {
  if (!l.data()) return 0;
  const std::vector<ColDef>& cols = l.data()->cols;
  for (size_t c = 0; c < cols.size() && c < 32767; ++c) {
    if (cols[c].name.size() == name.size() &&
        ECOuprCmp(cols[c].name.data(), name.data(), static_cast<qlong>(name.size())) == 0)
      return static_cast<qshort>(c + 1);
  }
  return 0;
}

// "Cn" as a column number, 0 when the name is not of that form.
qshort columnNumber(const std::u32string& name) {
  if (name.size() < 2 || name.size() > 6 || (name[0] != U'C' && name[0] != U'c')) return 0;
  qlong n = 0;
  for (size_t i = 1; i < name.size(); ++i) {
    if (name[i] < U'0' || name[i] > U'9') return 0;
    n = n * 10 + static_cast<qlong>(name[i] - U'0');
  }
  return n > 0 && n <= 32767 ? static_cast<qshort>(n) : 0;
}

}  // namespace

qbool ECOfindVariable(EXTCompInfo* eci, const qchar* name, qlong len, EXTfldval& out) {
  if (!eci || !eci->mContext || len <= 0) return qfalse;
  HostContext& ctx = *eci->mContext;
  const std::u32string full(name, static_cast<size_t>(len));
  const size_t dot = full.find(U'.');
  const std::string head = hostrt::fromU32(full.substr(0, dot));
  EXTfldval* base = lower(head) == "$cinst" ? &ctx.cinst : ctx.findVar(head);
  if (!base) return qfalse;
  if (dot == std::u32string::npos) {
    out.setRef(base->data());
    return qtrue;
  }
  const std::u32string column = full.substr(dot + 1);
  EXTqlist list;
  if (!base->getList(&list, qtrue)) return qfalse;
  qshort col = columnNamed(list, column);
  if (col == 0 && base == &ctx.cinst) col = columnNumber(column);
  if (col == 0) return qfalse;
  return list.getColValRef(list.getCurRow(), col, out, qtrue);
}

// ---------------------------------------------------------------------------------------------
// Resources and registration

struct HostLibrary {
  std::string path;
  std::map<qlong, std::u32string> strings;
  std::string problem;  // what is wrong with the resource file; empty when nothing
};

namespace {

// Reads the whole file, or says why it cannot.
bool readWholeFile(const std::string& file, std::string& bytes, std::string& why) {
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    why = std::strerror(errno);
    return false;
  }
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  if (ok && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    ok = false;
  }
  char buffer[65536];
  while (ok) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  if (!ok) why = std::strerror(errno);
  close(fd);
  return ok;
}

bool allDigits(const std::string& s) {
  return !s.empty() && s.size() <= 9 &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

size_t count(const std::string& s, const std::string& what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + what.size())) ++n;
  return n;
}

// The module's resource file: beside the module, with the extension ".strings"; for the
// executable of a macOS bundle (<name>.bundle/Contents/MacOS/<name>), in the bundle's
// Contents/Resources folder when it is not beside the executable.
std::string resourceFile(const std::string& modulePath) {
  std::string file = modulePath;
  const size_t slash = file.find_last_of('/');
  const size_t ext = file.find_last_of('.');
  if (ext != std::string::npos && (slash == std::string::npos || ext > slash)) file.erase(ext);
  file += ".strings";
  const std::string kBundleCode = "/Contents/MacOS/";
  if (slash == std::string::npos || slash + 1 < kBundleCode.size() ||
      file.compare(slash + 1 - kBundleCode.size(), kBundleCode.size(), kBundleCode) != 0 ||
      access(file.c_str(), F_OK) == 0)
    return file;
  return file.substr(0, slash + 1 - kBundleCode.size()) + "/Contents/Resources/" +
         file.substr(slash + 1);
}

}  // namespace

HINSTANCE RESinitLibrary(const char* modulePath) {
  HostLibrary* lib = new HostLibrary();
  lib->path = modulePath ? modulePath : "";
  const std::string file = resourceFile(lib->path);
  std::string bytes, why;
  if (!readWholeFile(file, bytes, why)) {
    lib->problem = "cannot read the resource strings " + file + ": " + why;
    return lib;
  }
  // One "id<TAB>text" entry a line in UTF-8; empty lines and lines starting with # are
  // comments. Any other line, or text that is not UTF-8, means the file is damaged.
  size_t bad = 0, firstBad = 0, lineNo = 0, start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t tab = line.find('\t');
    const std::string text = tab == std::string::npos ? "" : line.substr(tab + 1);
    const std::u32string wide = hostrt::toU32(text);
    const bool utf8 = count(hostrt::fromU32(wide), "\xEF\xBF\xBD") == count(text, "\xEF\xBF\xBD");
    if (tab == std::string::npos || !allDigits(line.substr(0, tab)) || !utf8 ||
        line.find('\0') != std::string::npos) {
      if (bad++ == 0) firstBad = lineNo;
      continue;
    }
    lib->strings[std::atoi(line.substr(0, tab).c_str())] = wide;
  }
  if (bad)
    lib->problem = "the resource strings " + file + " are damaged: " + std::to_string(bad) +
                   (bad == 1 ? " line is" : " lines are") + " not id<TAB>text in UTF-8 (line " +
                   std::to_string(firstBad) + (bad == 1 ? ")" : " first)");
  else if (lib->strings.empty())
    lib->problem = "the resource strings " + file + " hold no entries";
  return lib;
}

void RESfreeLibrary(HINSTANCE lib) { delete lib; }

qlong RESloadString(HINSTANCE lib, qlong id, strxxx& out) {
  out.setLength(0);
  if (!lib) return 0;
  auto it = lib->strings.find(id);
  if (it == lib->strings.end()) return 0;
  out.set(it->second.data(), static_cast<qlong>(it->second.size()));
  return out.length();
}

namespace {

// A name or text registered from the resources; a missing one is noted in the call record.
std::string resource(HINSTANCE lib, EXTCompInfo* eci, qlong id) {
  str255 s;
  if (RESloadString(lib, id, s) == 0 && eci && eci->mCall) {
    eci->mCall->missingResources.push_back(id);
    if (eci->mCall->resourceProblem.empty())
      eci->mCall->resourceProblem = lib ? lib->problem : "the library instance is not initialised";
  }
  return strUtf8(s);
}

}  // namespace

qbool ECOreturnCompInfo(HINSTANCE lib, EXTCompInfo* eci, qlong resId, qlong) {
  if (eci && eci->mCall) eci->mCall->compInfo = resource(lib, eci, resId);
  return qtrue;
}

qbool ECOreturnObjects(HINSTANCE lib, EXTCompInfo* eci, const ECOobject* objects, qlong count) {
  if (!eci || !eci->mCall) return qfalse;
  for (qlong i = 0; i < count; ++i)
    eci->mCall->objects.push_back(
        {objects[i].mObjectID, resource(lib, eci, objects[i].mNameResID)});
  return qtrue;
}

qbool ECOreturnMethodEvents(HINSTANCE lib, EXTCompInfo* eci, const ECOmethodEvent* methods,
                            qlong count) {
  if (!eci || !eci->mCall) return qfalse;
  for (qlong i = 0; i < count; ++i) {
    const ECOmethodEvent& m = methods[i];
    HostCall::Method method{m.mId, resource(lib, eci, m.mNameResID), m.mReturnType, {}};
    for (qshort p = 0; p < m.mParamCount && m.mParams; ++p)
      method.params.push_back(
          {resource(lib, eci, m.mParams[p].mNameResID), m.mParams[p].mType, m.mParams[p].mFlags});
    eci->mCall->methods.push_back(std::move(method));
  }
  return qtrue;
}

qbool ECOreturnConstants(HINSTANCE lib, EXTCompInfo* eci, qlong firstId, qlong lastId) {
  if (!eci || !eci->mCall) return qfalse;
  for (qlong id = firstId; id <= lastId; ++id) {
    const std::string text = resource(lib, eci, id);
    const size_t colon = text.find(':');
    eci->mCall->constants.push_back(
        {id, text.substr(0, colon), colon == std::string::npos ? "" : text.substr(colon + 1)});
  }
  return qtrue;
}

// ---------------------------------------------------------------------------------------------
// Host

namespace hostrt {

Host::Host(WndProc proc) : mProc(proc) {
#if defined(__GLIBC__)
  // Like a long-running host application's memory manager, keep freed memory for the next
  // call instead of handing it back to the system after every call (which makes each call
  // that builds a large result pay for fresh pages again).
  static const bool tuned = [] {
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    return true;
  }();
  (void)tuned;
#endif
}

qlong Host::send(qlong message, qlong objectId, WPARAM wParam, LPARAM lParam, HostCall* call) {
  HostCall local;
  EXTCompInfo eci;
  eci.mCompId = objectId;
  eci.mCall = call ? call : &local;
  eci.mContext = &mContext;
  eci.mInstanceStore = &mStore;
  return mProc(nullptr, message, wParam, lParam, &eci);
}

const Host::Registry& Host::handshake() {
  Registry r;
  r.connectAnswer = send(msgConnect, 0, 0, 0);
  HostCall info;
  send(msgGetLibraryInfo, 0, 0, 0, &info);
  r.libInfo = info.compInfo;
  HostCall name;
  send(msgGetLibraryName, 0, 0, 0, &name);
  if (!name.results.empty()) r.libName = toUtf8(name.results[0]);
  HostCall objects;
  send(msgGetObjects, 0, 0, 0, &objects);
  r.objects = objects.objects;
  std::vector<HostCall> methodCalls;
  for (const HostCall::Object& o : r.objects) {
    methodCalls.emplace_back();
    send(msgGetMethods, o.id, 0, 0, &methodCalls.back());
    r.methods[o.id] = methodCalls.back().methods;
  }
  HostCall statics;
  send(msgGetStaticMethods, 0, 0, 0, &statics);
  r.statics = statics.methods;
  HostCall constants;
  send(msgGetConstants, 0, 0, 0, &constants);
  r.constants = constants.constants;

  // Names come from the component's resource strings: say what is missing and why, rather
  // than leaving the names blank without a word.
  std::vector<qlong> missing;
  std::string problem;
  std::vector<const HostCall*> calls = {&info, &objects, &statics, &constants};
  for (const HostCall& c : methodCalls) calls.push_back(&c);
  for (const HostCall* c : calls) {
    missing.insert(missing.end(), c->missingResources.begin(), c->missingResources.end());
    if (problem.empty()) problem = c->resourceProblem;
  }
  if (!problem.empty()) r.resourceProblems.push_back(problem);
  std::sort(missing.begin(), missing.end());
  missing.erase(std::unique(missing.begin(), missing.end()), missing.end());
  if (!missing.empty()) {
    std::string ids;
    for (size_t i = 0; i < missing.size() && i < 8; ++i)
      ids += (i ? ", " : "") + std::to_string(missing[i]);
    if (missing.size() > 8) ids += ", ...";
    r.resourceProblems.push_back(std::to_string(missing.size()) +
                                 " registered names have no resource string (ids " + ids + ")");
  }
  if (r.libName.empty()) r.resourceProblems.push_back("the library has no name");
  mRegistry = r;
  return mRegistry;
}

qlong Host::methodId(qlong objectId, const std::string& name) const {
  const std::vector<HostCall::Method>* list = nullptr;
  if (objectId == 0) {
    list = &mRegistry.statics;
  } else {
    auto it = mRegistry.methods.find(objectId);
    if (it == mRegistry.methods.end()) return 0;
    list = &it->second;
  }
  const std::string wanted = lower(name);
  for (const HostCall::Method& m : *list)
    if (lower(m.name) == wanted) return m.id;
  return 0;
}

qlong Host::construct(qlong objectId, objinst inst) {
  return send(msgObjectConstruct, objectId, 0, static_cast<LPARAM>(inst));
}

qlong Host::destruct(qlong objectId, objinst inst) {
  return send(msgObjectDestruct, objectId, 0, static_cast<LPARAM>(inst));
}

qlong Host::copy(qlong objectId, objinst source, objinst dest) {
  objinst pair[2] = {source, dest};
  return send(msgObjectCopy, objectId, 0, reinterpret_cast<LPARAM>(pair));
}

CallOutcome Host::call(qlong objectId, objinst inst, qlong methodId,
                       std::vector<EXTfldval>& params) {
  HostCall call;
  call.params.reserve(params.size());
  for (EXTfldval& p : params) call.params.push_back(p.data());
  call.changed.assign(params.size(), 0);
  const size_t before = recordedCalls().size();
  HostCall* callPtr = &call;
  EXTCompInfo eci;
  eci.mCompId = objectId;
  eci.mMethodId = methodId;
  eci.mCall = callPtr;
  eci.mContext = &mContext;
  eci.mInstanceStore = &mStore;
  CallOutcome out;
  out.answer = mProc(nullptr, msgMethodCall, 0, static_cast<LPARAM>(inst), &eci);
  out.hasReturn = call.hasResult;
  if (call.hasResult) out.ret.data()->swap(*call.result.data());  // hand over, no copy
  for (size_t i = 0; i < call.changed.size(); ++i)
    if (call.changed[i]) out.changed.push_back(static_cast<qlong>(i + 1));
  const std::vector<RecordedCall>& all = recordedCalls();
  for (size_t i = before; i < all.size(); ++i) {
    const RecordedCall& c = all[i];
    if (c.inst == inst && c.method == "$error" && c.params.size() == 4) {
      out.errors.push_back(
          {c.params[0].getLong(), toUtf8(c.params[1]), toUtf8(c.params[2]), toUtf8(c.params[3])});
    } else {
      out.calls.push_back(c);
    }
  }
  return out;
}

}  // namespace hostrt
