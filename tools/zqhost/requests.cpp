// The requests of the JSON Lines interface and their responses.
#include "requests.h"

#include <limits>
#include <string_view>

#include "arguments.h"
#include "files.h"
#include "jsonwriter.h"

namespace zqhost {

namespace {

const qint64 kLongMin = std::numeric_limits<qlong>::min();
const qint64 kLongMax = std::numeric_limits<qlong>::max();
const qint64 kInt64Min = std::numeric_limits<qint64>::min();
const qint64 kInt64Max = std::numeric_limits<qint64>::max();
// wParam and lParam are pointer-sized: a number the build's pointers cannot hold is refused
// rather than cut to its low bits (the 32-bit build takes -2^31 to 2^32 - 1).
const qint64 kParamMin = sizeof(void*) == 8 ? kInt64Min : std::numeric_limits<int32_t>::min();
const qint64 kParamMax = sizeof(void*) == 8 ? kInt64Max : std::numeric_limits<uint32_t>::max();
// Method ids travel in the call record as 16-bit numbers.
const qint64 kMaxMethodId = 65535;

// The request kinds; a request holds exactly one of these keys, and the keys listed with it.
const struct {
  const char* kind;
  std::initializer_list<const char*> keys;
} kRequests[] = {
    {"call", {"on", "params", "vars", "cinst", "echo", "save"}},
    {"static", {"params", "vars", "cinst", "echo", "save"}},
    {"new", {"as"}},
    {"delete", {}},
    {"copy", {}},
    {"message", {"object", "wParam", "lParam"}},
    {"info", {}},
};

const std::string& stringIn(const json& j, const std::string& what) {
  if (!j.is_string() || j.get_ref<const std::string&>().empty())
    throw RequestError(what + " must be a non-empty string, not " + quote(j));
  return j.get_ref<const std::string&>();
}

json namedObject(objinst inst) {
  const std::string name = hostrt::instanceName(inst);
  return name.empty() ? json("#" + std::to_string(inst)) : json(name);
}

// A value as a request gives it, with {"int": "NAME"} or {"int64": "NAME"} naming one of the
// component's constants read as its number. Anything else goes to valueFromJson as it is.
void setRequestValue(Session& session, const json& j, EXTfldval& v) {
  if (j.is_object() && j.size() == 1) {
    const auto it = j.begin();
    long long n = 0;
    if ((it.key() == "int" || it.key() == "int64") && it.value().is_string() &&
        constantValue(session.registry(), it.value().get_ref<const std::string&>(), n)) {
      setValueFromJson(v, json{{it.key(), n}});
      return;
    }
  }
  setValueFromJson(v, j);  // into v's place: a large text or binary is not copied again
}

EXTfldval requestValue(Session& session, const json& j) {
  EXTfldval v;
  setRequestValue(session, j, v);
  return v;
}

// The "save" key of a call: {"N": "path", ...}, parameter numbers within the call's.
std::vector<std::pair<size_t, std::string>> savesIn(const json& j, size_t paramCount) {
  if (!j.is_object())
    throw RequestError("\"save\" must be an object of parameter numbers and paths");
  std::vector<std::pair<size_t, std::string>> saves;
  for (auto it = j.begin(); it != j.end(); ++it) {
    const std::string& key = it.key();
    size_t n = 0;
    bool digits = !key.empty() && key.size() < 6;
    for (char c : key) digits = digits && c >= '0' && c <= '9';
    if (digits) n = static_cast<size_t>(std::stoul(key));
    if (!digits || n < 1 || n > paramCount)
      throw RequestError("\"save\": \"" + key + "\" is not a parameter number of this call");
    const std::string& path = stringIn(it.value(), "\"save\" path");
    if (path == "-") throw RequestError("\"save\": a response cannot carry raw bytes; name a file");
    saves.emplace_back(n, path);
  }
  return saves;
}

// Writes the saved parameters after a call without errors; what was written or why not.
json saveParameters(const std::vector<std::pair<size_t, std::string>>& saves,
                    const std::vector<EXTfldval>& params, bool failed) {
  json out = json::array();
  for (const auto& s : saves) {
    const EXTfldval& p = params[s.first - 1];
    json entry = {{"param", s.first}, {"path", s.second}};
    const ffttype t = p.getType();
    if (failed) {
      entry["error"] = "not written: the call reported an error";
    } else if (t != fftBinary && t != fftPicture && t != fftObject) {
      entry["error"] = "not written: parameter " + std::to_string(s.first) + " is " + typeName(t) +
                       ", not binary";
    } else {
      const qHandleInfo* h = p.getHandle();
      const size_t size = h ? static_cast<size_t>(p.getBinLen()) : 0;
      try {
        replaceFile(s.second, h ? h->mData : nullptr, size);
        entry["bytes"] = size;
      } catch (const FileError& e) {
        entry["error"] = e.what();
      }
    }
    out.push_back(std::move(entry));
  }
  return out;
}

void writeErrors(JsonWriter& w, const std::vector<hostrt::ErrorReport>& errors) {
  w.beginArray();
  for (const hostrt::ErrorReport& e : errors) {
    w.beginObject();
    w.key("code");
    w.integer(e.code);
    w.key("message");
    w.string(e.message);
    w.key("detail");
    w.string(e.detail);
    w.key("method");
    w.string(e.method);
    w.endObject();
  }
  w.endArray();
}

void writeCalls(JsonWriter& w, const std::vector<hostrt::RecordedCall>& calls) {
  w.beginArray();
  for (const hostrt::RecordedCall& c : calls) {
    w.beginObject();
    w.key("object");
    const std::string name = hostrt::instanceName(c.inst);
    w.string(name.empty() ? "#" + std::to_string(c.inst) : name);
    w.key("method");
    w.string(c.method);
    w.key("params");
    w.beginArray();
    for (const EXTfldval& p : c.params) writeValue(w, p);
    w.endArray();
    w.endObject();
  }
  w.endArray();
}

// The echo mode a name gives (all, changed, none); false for any other name.
bool knownEcho(std::string_view name, Echo& mode) {
  if (name == "all")
    mode = Echo::All;
  else if (name == "changed")
    mode = Echo::Changed;
  else if (name == "none")
    mode = Echo::None;
  else
    return false;
  return true;
}

// A call request, read and checked: nothing of it is carried out yet.
struct CallPlan {
  qlong objectId = 0;
  objinst inst = 0;
  qlong id = 0;
  std::vector<EXTfldval> params;
  bool hasVars = false;
  std::vector<std::pair<std::string, EXTfldval>> vars;
  std::vector<std::pair<size_t, std::string>> saves;
  Echo echo = Echo::All;
  bool hasCinst = false;
  EXTfldval cinst;
};

// Carries out a call read into plan and writes its response as it is made.
void carryOut(Session& session, CallPlan& plan, JsonWriter& w) {
  std::vector<EXTfldval>& params = plan.params;
  const Echo echo = plan.echo;
  const std::vector<std::pair<size_t, std::string>>& saves = plan.saves;
  HostContext& context = session.host().context();
  for (const auto& v : plan.vars) context.setVar(v.first, v.second);
  if (plan.hasCinst) {
    context.cinst = plan.cinst;
    context.hasCinst = true;
  }

  const hostrt::CallOutcome outcome =
      session.host().call(plan.objectId, plan.inst, plan.id, params);
  // Whatever cannot be written is refused now: a long response goes out while it is written.
  // The checks and the saving come in the order the parts of the response always came, so a
  // value that cannot be written stops the saving exactly where it did.
  std::vector<bool> shown(params.size(), echo == Echo::All);
  for (qlong n : outcome.changed)
    if (echo == Echo::Changed && n >= 1 && static_cast<size_t>(n) <= params.size())
      shown[static_cast<size_t>(n - 1)] = true;
  if (outcome.hasReturn) checkWritable(outcome.ret);
  for (size_t i = 0; i < params.size(); ++i)
    if (shown[i]) checkWritable(params[i]);
  for (const hostrt::RecordedCall& c : outcome.calls)
    for (const EXTfldval& p : c.params) checkWritable(p);
  // Saved before the response is written: writing the response frees the parameters.
  const json saved =
      saves.empty() ? json() : saveParameters(saves, params, !outcome.errors.empty());
  if (plan.hasVars) {
    for (const std::string& name : context.varNames())
      if (EXTfldval* v = context.findVar(name)) checkWritable(*v);
  }
  if (plan.hasCinst) checkWritable(context.cinst);
  w.beginObject();
  w.key("answer");
  w.integer(outcome.answer);
  w.key("return");
  if (outcome.hasReturn)
    writeValue(w, outcome.ret);
  else
    w.null();
  w.key("params");
  w.beginArray();
  for (size_t i = 0; i < params.size(); ++i) {
    if (shown[i])
      writeValue(w, params[i]);
    else
      w.null();
    params[i].setNull(fftCharacter);  // written: its memory is free for the rest
  }
  w.endArray();
  w.key("changed");
  w.beginArray();
  for (qlong n : outcome.changed) w.integer(n);
  w.endArray();
  w.key("errors");
  writeErrors(w, outcome.errors);
  w.key("calls");
  writeCalls(w, outcome.calls);
  if (!saves.empty()) {
    w.key("saved");
    w.value(saved);
  }
  if (plan.hasVars) {
    w.key("vars");
    w.beginObject();
    for (const std::string& name : context.varNames()) {
      if (EXTfldval* v = context.findVar(name)) {
        w.key(name);
        writeValue(w, *v);
      }
    }
    w.endObject();
  }
  if (plan.hasCinst) {
    w.key("cinst");
    writeValue(w, context.cinst);
  }
  w.endObject();
}

// Calls a method of a named instance ("call") or of the library ("static"). The request's
// parameter values are dropped once they are host values, so that a large text is not held
// three times over during the call; the response is written as it is made.
void callMethod(Session& session, json& req, bool isStatic, const RunOptions& options,
                JsonWriter& w) {
  // The request's keys, found in one pass (a request has only known keys by now).
  json *onKey = nullptr, *paramsKey = nullptr, *varsKey = nullptr, *saveKey = nullptr,
       *echoKey = nullptr, *cinstKey = nullptr;
  for (auto it = req.begin(); it != req.end(); ++it) {
    const std::string& k = it.key();
    json* v = &it.value();
    if (k == "on")
      onKey = v;
    else if (k == "params")
      paramsKey = v;
    else if (k == "vars")
      varsKey = v;
    else if (k == "save")
      saveKey = v;
    else if (k == "echo")
      echoKey = v;
    else if (k == "cinst")
      cinstKey = v;
  }
  CallPlan plan;
  if (!isStatic) {
    const std::string on = onKey ? stringIn(*onKey, "\"on\"") : "main";
    const Session::Instance* instance = session.find(on);
    if (!instance) throw RequestError("unknown instance \"" + on + "\"");
    plan.objectId = instance->objectId;
    plan.inst = instance->inst;
  }
  const json& method = req.at(isStatic ? "static" : "call");
  if (method.is_string()) {
    plan.id = session.methodId(plan.objectId, method.get<std::string>());
  } else if (method.is_number_integer()) {
    plan.id = static_cast<qlong>(integerIn(method, 0, kMaxMethodId, "a method number"));
  } else {
    throw RequestError("a method is given by name or number, not " + quote(method));
  }

  // Everything is read before anything is set, so that a bad request changes nothing.
  // Each value is made in its place: a value copied (by a growing vector) is copied whole.
  std::vector<EXTfldval>& params = plan.params;
  if (paramsKey) {
    json& given = *paramsKey;
    if (!given.is_array()) throw RequestError("\"params\" must be an array of values");
    params.resize(given.size());
    for (size_t i = 0; i < given.size(); ++i) setRequestValue(session, given[i], params[i]);
  }
  if (varsKey) {
    plan.hasVars = true;
    const json& v = *varsKey;
    if (!v.is_object()) throw RequestError("\"vars\" must be an object of named values");
    for (auto it = v.begin(); it != v.end(); ++it) {
      if (it.key().empty()) throw RequestError("a variable needs a name");
      plan.vars.emplace_back(it.key(), requestValue(session, it.value()));
    }
  }
  if (saveKey) plan.saves = savesIn(*saveKey, params.size());
  plan.echo = options.echo;
  if (echoKey) {
    if (!echoKey->is_string()) throw RequestError("\"echo\" must be all, changed or none");
    plan.echo = echoMode(echoKey->get<std::string>());
  }
  if (cinstKey) {
    plan.hasCinst = true;
    setValueFromJson(plan.cinst, *cinstKey);
    if (plan.cinst.getType() != fftRow || plan.cinst.isNull())
      throw RequestError("\"cinst\" must be a row value");
  }

  if (paramsKey) *paramsKey = json::array();  // the values are made
  carryOut(session, plan, w);
}

#if ZQ_HAVE_SIMDJSON
// The common call requests read straight from simdjson's document into host values: "call"
// or "static" with a method name or number, "on", "echo" and "params" whose values have the
// plain forms simpleValue takes. Anything else, and anything the general reading would refuse,
// gives false with nothing done (no instance made, no variable set): such a request takes the
// general route, whose answers and error texts are the protocol's.
bool readSimpleCall(Session& session, simdjson::dom::element doc, const RunOptions& options,
                    CallPlan& plan) {
  using simdjson::dom::element_type;
  if (doc.type() != element_type::OBJECT) return false;
  const simdjson::dom::object fields(doc);
  simdjson::dom::element method, on, params, echo;
  bool hasMethod = false, hasOn = false, hasParams = false, hasEcho = false, isStatic = false;
  for (simdjson::dom::key_value_pair f : fields) {
    bool* seen = nullptr;
    simdjson::dom::element* into = nullptr;
    if (f.key == "call" || f.key == "static") {
      seen = &hasMethod, into = &method;
      isStatic = f.key == "static";
    } else if (f.key == "on") {
      seen = &hasOn, into = &on;
    } else if (f.key == "params") {
      seen = &hasParams, into = &params;
    } else if (f.key == "echo") {
      seen = &hasEcho, into = &echo;
    } else {
      return false;
    }
    if (*seen) return false;  // a repeated key, or both kinds
    *seen = true;
    *into = f.value;
  }
  if (!hasMethod || (isStatic && hasOn)) return false;
  if (!isStatic) {
    const Session::Instance* instance = nullptr;
    if (!hasOn) {
      instance = session.find("main");
    } else if (on.type() == element_type::STRING) {
      const std::string_view name(on);
      if (!name.empty()) instance = session.find(std::string(name));
    }
    if (!instance) return false;
    plan.objectId = instance->objectId;
    plan.inst = instance->inst;
  }
  switch (method.type()) {
    case element_type::STRING:
      if (!session.knownMethod(plan.objectId, std::string_view(method), plan.id)) return false;
      break;
    case element_type::INT64: {
      const int64_t n = int64_t(method);
      if (n < 0 || n > kMaxMethodId) return false;
      plan.id = static_cast<qlong>(n);
      break;
    }
    case element_type::UINT64:
    default:
      return false;  // out of range, or not a method
  }
  plan.echo = options.echo;
  if (hasEcho) {
    if (echo.type() != element_type::STRING) return false;
    if (!knownEcho(std::string_view(echo), plan.echo)) return false;
  }
  if (hasParams) {
    if (params.type() != element_type::ARRAY) return false;
    const simdjson::dom::array values(params);
    plan.params.resize(values.size());
    size_t i = 0;
    for (simdjson::dom::element v : values)
      if (!simpleValue(plan.params[i++], v)) return false;
  }
  return true;
}
#endif

json newInstance(Session& session, const json& req) {
  const json& kind = req.at("new");
  qlong objectId = 0;
  if (kind == "main") {
    objectId = kMainObject;
  } else if (kind == "scope") {
    objectId = kScopeObject;
  } else if (kind.is_number_integer()) {
    objectId = static_cast<qlong>(integerIn(kind, kLongMin, kLongMax, "an object id"));
  } else {
    throw RequestError("unknown object " + quote(kind) + ": \"main\", \"scope\" or an id");
  }
  if (!req.contains("as")) throw RequestError("\"new\" needs a name: \"as\"");
  return {{"answer", session.create(stringIn(req.at("as"), "\"as\""), objectId)}};
}

json deleteInstance(Session& session, const json& req) {
  std::vector<hostrt::RecordedCall> calls;
  const qlong answer = session.destroy(stringIn(req.at("delete"), "\"delete\""), calls);
  return {{"answer", answer}, {"calls", callsJson(calls)}};
}

json copyInstance(Session& session, const json& req) {
  const json& form = req.at("copy");
  if (!form.is_object() || form.size() != 2 || !form.contains("from") || !form.contains("to"))
    throw RequestError("\"copy\" must be {\"from\": name, \"to\": name}");
  return {{"answer",
           session.copy(stringIn(form.at("from"), "\"from\""), stringIn(form.at("to"), "\"to\""))}};
}

// A host instance named in a message: an existing instance of that name, or a new one.
objinst messageInstance(const json& j) {
  const std::string& name = stringIn(j, "an instance");
  const objinst inst = hostrt::findInstance(name);
  return inst ? inst : hostrt::newInstance(name);
}

json sendMessage(Session& session, const json& req) {
  const qlong code =
      static_cast<qlong>(integerIn(req.at("message"), kLongMin, kLongMax, "a message code"));
  const qlong object =
      req.contains("object")
          ? static_cast<qlong>(integerIn(req.at("object"), kLongMin, kLongMax, "\"object\""))
          : 0;
  const WPARAM wParam =
      req.contains("wParam")
          ? static_cast<WPARAM>(integerIn(req.at("wParam"), kParamMin, kParamMax, "\"wParam\""))
          : 0;
  // lParam is a number, or a host instance by name; the copy message takes a pointer to two
  // instances, given as [source, destination].
  LPARAM lParam = 0;
  objinst pair[2] = {0, 0};
  const json zero = 0;
  const json& lp = req.contains("lParam") ? req.at("lParam") : zero;
  if (code == msgObjectCopy) {
    if (lp.is_array() && lp.size() == 2) {
      pair[0] = messageInstance(lp[0]);
      pair[1] = messageInstance(lp[1]);
      lParam = reinterpret_cast<LPARAM>(pair);
    } else if (lp != 0) {
      throw RequestError("the copy message's \"lParam\" is [source, destination]");
    }
  } else if (lp.is_string()) {
    lParam = static_cast<LPARAM>(messageInstance(lp));
  } else {
    lParam = static_cast<LPARAM>(integerIn(lp, kParamMin, kParamMax, "\"lParam\""));
  }

  // A duplicate made by the copy message is of its source's class.
  const qlong newObjectId =
      code == msgObjectCopy && session.objectIdOf(pair[0]) ? session.objectIdOf(pair[0]) : object;
  HostCall call;
  json response = {{"answer", session.host().send(code, object, wParam, lParam, &call)}};
  session.adoptStore(newObjectId);
  if (!call.results.empty()) {
    json results = json::array();
    for (const EXTfldval& r : call.results) results.push_back(valueToJson(r));
    response["results"] = std::move(results);
  }
  if (!hostrt::recordedCalls().empty()) response["calls"] = callsJson(hostrt::recordedCalls());
  return response;
}

void handle(Session& session, json& req, const RunOptions& options, JsonWriter& w) {
  if (!req.is_object()) throw RequestError("a request must be a JSON object, not " + quote(req));
  // One pass over the request's keys (each key is there once): the kinds among them, the
  // last in the table's order taken as the request.
  const auto* request = &kRequests[0];
  int found = 0;
  for (auto it = req.begin(); it != req.end(); ++it) {
    const std::string& key = it.key();
    for (const auto& r : kRequests) {
      if (key == r.kind) {
        if (found == 0 || &r > request) request = &r;
        ++found;
        break;
      }
    }
  }
  if (found != 1)
    throw RequestError(found == 0 ? "no request: expected one of call, static, new, delete, "
                                    "copy, message, info"
                                  : "one request a line, not several");
  for (auto it = req.begin(); it != req.end(); ++it) {
    bool known = it.key() == request->kind;
    for (const char* k : request->keys) known = known || it.key() == k;
    if (!known)
      throw RequestError("\"" + it.key() + "\" is not a key of \"" + request->kind + "\" requests");
  }
  const std::string kind = request->kind;
  if (kind == "call" || kind == "static") {
    callMethod(session, req, kind == "static", options, w);
  } else if (kind == "new") {
    w.value(newInstance(session, req));
  } else if (kind == "delete") {
    w.value(deleteInstance(session, req));
  } else if (kind == "copy") {
    w.value(copyInstance(session, req));
  } else if (kind == "message") {
    w.value(sendMessage(session, req));
  } else {
    if (req.at("info") != true) throw RequestError("\"info\" must be true");
    w.value(infoJson(session));
  }
}

// The response to line as compact JSON text in out; true when it is {"error": ...}. line is
// emptied once it is parsed when it is long. With a stream, the front of a long response may
// already have been written there; out then holds the rest. Only running out of memory can stop
// such a response half-way: its line is then ended, and the error follows on a line of its own.
bool respondText(Session& session, std::string& line, const RunOptions& options, std::string& out,
                 std::ostream* stream = nullptr) {
  out.clear();
  bool refused = false;
  bool spilled = false;
  try {
    JsonWriter w(out);
    w.spillTo(stream, size_t(1) << 20);
    try {
#if ZQ_HAVE_SIMDJSON
      // The common calls go straight from simdjson's reading to host values.
      simdjson::dom::element doc;
      CallPlan plan;
      if (readShortLine(line, doc) && readSimpleCall(session, doc, options, plan)) {
        carryOut(session, plan, w);
        hostrt::clearRecordedCalls();
        return false;
      }
#endif
      json req = parseLine(line);
      if (line.size() > (1u << 20)) std::string().swap(line);  // a long line's memory goes now
      handle(session, req, options, w);
    } catch (...) {
      spilled = w.spilled();
      throw;
    }
  } catch (const json::parse_error& e) {
    refused = true;
    out = json{{"error", std::string("the request is not JSON: ") + e.what()}}.dump(
        -1, ' ', false, json::error_handler_t::replace);
  } catch (const std::exception& e) {
    refused = true;
    out = json{{"error", e.what()}}.dump(-1, ' ', false, json::error_handler_t::replace);
  }
  if (spilled) out.insert(0, "\n");
  hostrt::clearRecordedCalls();
  return refused;
}

}  // namespace

json errorsJson(const std::vector<hostrt::ErrorReport>& errors) {
  json out = json::array();
  for (const hostrt::ErrorReport& e : errors)
    out.push_back(
        {{"code", e.code}, {"message", e.message}, {"detail", e.detail}, {"method", e.method}});
  return out;
}

json callsJson(const std::vector<hostrt::RecordedCall>& calls) {
  json out = json::array();
  for (const hostrt::RecordedCall& c : calls) {
    json params = json::array();
    for (const EXTfldval& p : c.params) params.push_back(valueToJson(p));
    out.push_back({{"object", namedObject(c.inst)}, {"method", c.method}, {"params", params}});
  }
  return out;
}

json infoJson(Session& session) {
  const hostrt::Host::Registry& reg = session.registry();
  auto methods = [](const std::vector<HostCall::Method>& list) {
    json out = json::array();
    for (const HostCall::Method& m : list) {
      json params = json::array();
      for (const HostCall::Param& p : m.params)
        params.push_back({{"name", p.name},
                          {"type", typeName(p.type)},
                          {"flags", p.flags},
                          {"writable", (p.flags & EXTD_FLAG_PARAMALTER) != 0},
                          {"optional", (p.flags & EXTD_FLAG_PARAMOPT) != 0}});
      out.push_back({{"id", m.id},
                     {"name", m.name},
                     {"returns", typeName(m.returnType)},
                     {"params", std::move(params)}});
    }
    return out;
  };
  json objects = json::array();
  for (const HostCall::Object& o : reg.objects) {
    auto it = reg.methods.find(o.id);
    objects.push_back({{"id", o.id},
                       {"name", o.name},
                       {"methods", methods(it == reg.methods.end() ? std::vector<HostCall::Method>()
                                                                   : it->second)}});
  }
  json constants = json::array();
  for (const HostCall::Constant& c : reg.constants)
    constants.push_back({{"id", c.id}, {"name", c.name}, {"value", c.value}});
  const qlong version = session.host().send(msgGetVersion, 0, 0, 0);
  json info = {{"library",
                {{"name", reg.libName},
                 {"info", reg.libInfo},
                 {"version", version},
                 {"connect", reg.connectAnswer}}},
               {"objects", std::move(objects)},
               {"statics", methods(reg.statics)},
               {"constants", std::move(constants)}};
  // Only when names are missing: why (the resource file cannot be read, is damaged, ...).
  if (!reg.resourceProblems.empty()) info["library"]["resourceProblems"] = reg.resourceProblems;
  return info;
}

Echo echoMode(const std::string& name) {
  Echo mode;
  if (!knownEcho(name, mode))
    throw RequestError("\"echo\" must be all, changed or none, not \"" + name + "\"");
  return mode;
}

json respond(Session& session, const std::string& line, const RunOptions& options) {
  std::string request = line, text;
  respondText(session, request, options, text);
  return json::parse(text);
}

RunTotals runLines(Session& session, std::istream& in, std::ostream& out,
                   const RunOptions& options) {
  RunTotals totals;
  std::string line, response;
  while (std::getline(in, line)) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    ++totals.requests;
    if (respondText(session, line, options, response, &out)) ++totals.refused;
    response += '\n';
    out.write(response.data(), static_cast<std::streamsize>(response.size()));
    // Responses wait in the buffer only while more requests are already read: whoever sends
    // one request and waits gets its answer before zqhost waits for the next.
    if (in.rdbuf()->in_avail() <= 0) out.flush();
  }
  out.flush();
  return totals;
}

}  // namespace zqhost
