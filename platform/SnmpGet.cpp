#include "platform/SnmpGet.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <sys/select.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>

namespace platform {
namespace snmp {
namespace {

constexpr int kAbortPollMs = 200;

void InitOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    // A client of its own: no user configuration, no MIB files, nothing
    // persisted between runs (the engine boots of a peer are asked afresh).
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_QUICK_PRINT, 1);
    netsnmp_ds_set_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_MIB_WARNINGS, 0);
    // No MIB folder (the environment is left alone: other threads read it).
    netsnmp_set_mib_directory("/nonexistent");
    netsnmp_register_loghandler(NETSNMP_LOGHANDLER_NONE, LOG_EMERG);
    init_snmp("quillon");
  });
}

// Debian's net-snmp is built without its reentrant locks and keeps the USM
// user list and the engine ID cache global, so every call into it holds
// this lock; the waits for the agents run outside it, so the hosts of an
// inventory are still asked at once.
std::mutex& SessionMutex() {
  static std::mutex m;
  return m;
}

struct SessCloser {
  void operator()(void* s) const { if (s) snmp_sess_close(s); }
};
using Session = std::unique_ptr<void, SessCloser>;

// The protocol OIDs copied into a session's template; the open copies
// them again, so they go when the request does.
struct ProtoCopies {
  netsnmp_session& s;
  ~ProtoCopies() {
    SNMP_FREE(s.securityAuthProto);
    SNMP_FREE(s.securityPrivProto);
  }
};

struct PduFree {
  void operator()(netsnmp_pdu* p) const { if (p) snmp_free_pdu(p); }
};

bool AuthOid(const std::string& name, const oid*& id, size_t& len) {
  std::string n = name;
  std::transform(n.begin(), n.end(), n.begin(), ::toupper);
  if (n == "MD5") { id = usmHMACMD5AuthProtocol; len = OID_LENGTH(usmHMACMD5AuthProtocol); return true; }
  if (n == "SHA" || n == "SHA1" || n == "SHA-1") { id = usmHMACSHA1AuthProtocol; len = OID_LENGTH(usmHMACSHA1AuthProtocol); return true; }
  if (n == "SHA-224" || n == "SHA224") { id = usmHMAC128SHA224AuthProtocol; len = OID_LENGTH(usmHMAC128SHA224AuthProtocol); return true; }
  if (n == "SHA-256" || n == "SHA256") { id = usmHMAC192SHA256AuthProtocol; len = OID_LENGTH(usmHMAC192SHA256AuthProtocol); return true; }
  if (n == "SHA-384" || n == "SHA384") { id = usmHMAC256SHA384AuthProtocol; len = OID_LENGTH(usmHMAC256SHA384AuthProtocol); return true; }
  if (n == "SHA-512" || n == "SHA512") { id = usmHMAC384SHA512AuthProtocol; len = OID_LENGTH(usmHMAC384SHA512AuthProtocol); return true; }
  return false;
}

bool PrivOid(const std::string& name, const oid*& id, size_t& len) {
  std::string n = name;
  std::transform(n.begin(), n.end(), n.begin(), ::toupper);
  if (n == "AES" || n == "AES128" || n == "AES-128") { id = usmAESPrivProtocol; len = OID_LENGTH(usmAESPrivProtocol); return true; }
#ifndef NETSNMP_DISABLE_DES
  if (n == "DES") { id = usmDESPrivProtocol; len = OID_LENGTH(usmDESPrivProtocol); return true; }
#endif
  return false;
}

std::string OidText(const oid* name, size_t len) {
  std::string out;
  for (size_t i = 0; i < len; ++i) {
    if (i) out += '.';
    out += std::to_string(name[i]);
  }
  return out;
}

std::string ValueText(const netsnmp_variable_list* v) {
  switch (v->type) {
    case ASN_OCTET_STR:
    case ASN_OPAQUE:
      return std::string(reinterpret_cast<const char*>(v->val.string), v->val_len);
    case ASN_INTEGER:
      return std::to_string(*v->val.integer);
    case ASN_TIMETICKS:
    case ASN_COUNTER:
    case ASN_GAUGE:
      return std::to_string(static_cast<unsigned long>(*v->val.integer) & 0xffffffffUL);
    case ASN_OBJECT_ID:
      return OidText(v->val.objid, v->val_len / sizeof(oid));
    default:
      return std::string();
  }
}

struct State {
  bool done = false;
  int op = 0;
  int reportType = 0;
  long errstat = 0;
  std::map<std::string, std::string> values;
};

int OnResponse(int op, netsnmp_session*, int, netsnmp_pdu* pdu, void* magic) {
  State& s = *static_cast<State*>(magic);
  if (op == NETSNMP_CALLBACK_OP_RESEND) return 1;  // the retry went out; keep waiting
  s.done = true;
  s.op = op;
  if (op != NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE || !pdu) return 1;
  if (pdu->command == SNMP_MSG_REPORT) {
    s.reportType = snmpv3_get_report_type(pdu);
    return 1;
  }
  s.errstat = pdu->errstat;
  for (netsnmp_variable_list* v = pdu->variables; v; v = v->next_variable) {
    if (v->type == SNMP_NOSUCHOBJECT || v->type == SNMP_NOSUCHINSTANCE ||
        v->type == SNMP_ENDOFMIBVIEW || v->type == ASN_NULL)
      continue;
    s.values[OidText(v->name, v->name_length)] = ValueText(v);
  }
  return 1;
}

std::string Peer(const Target& t) {
  std::string host = t.host;
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  return "udp:" + host + ":" + std::to_string(t.port > 0 ? t.port : 161);
}

std::string SessionError(void* sess) {
  int clib = 0, snmpErr = 0;
  char* text = nullptr;
  snmp_sess_error(sess, &clib, &snmpErr, &text);
  std::string out = text ? text : "";
  std::free(text);
  return out;
}

bool IsAuthError(int code) {
  return code == SNMPERR_AUTHENTICATION_FAILURE || code == SNMPERR_UNKNOWN_USER_NAME ||
         code == SNMPERR_DECRYPTION_ERR || code == SNMPERR_UNSUPPORTED_SEC_LEVEL ||
         code == SNMPERR_USM_AUTHENTICATIONFAILURE || code == SNMPERR_USM_UNKNOWNSECURITYNAME ||
         code == SNMPERR_USM_DECRYPTIONERROR || code == SNMPERR_USM_UNSUPPORTEDSECURITYLEVEL ||
         code == SNMPERR_KRB5 || code == SNMPERR_USM_GENERICERROR;
}

}  // namespace

Reply Get(const Target& t, const std::vector<std::string>& oids,
          const std::function<bool()>& abort) {
  Reply r;
  const std::string peer = Peer(t);
  const bool v3 = t.version == "3";
  if (!v3 && t.version != "2c") {
    r.error = Error::Of(kSnmpSetup, "SNMP version " + t.version + " is not supported (2c or 3)");
    return r;
  }
  if (!v3 && t.community.empty()) {
    r.error = Error::Of(kSnmpSetup, "no SNMP community given (--snmp-community or SnmpCommunity)");
    return r;
  }
  if (v3 && t.user.empty()) {
    r.error = Error::Of(kSnmpSetup, "no SNMPv3 user given (--snmp-user or SnmpUser)");
    return r;
  }

  // Only a request that can be sent loads net-snmp.
  InitOnce();
  std::unique_lock<std::mutex> lock(SessionMutex());
  netsnmp_session s;
  snmp_sess_init(&s);
  const ProtoCopies copies{s};
  std::string peerCopy = peer, community = t.community, user = t.user;
  s.peername = &peerCopy[0];
  s.timeout = static_cast<long>(std::max(1, t.timeoutMs)) * 1000L;
  s.retries = std::max(0, t.retries);
  if (!v3) {
    s.version = SNMP_VERSION_2c;
    s.community = reinterpret_cast<u_char*>(&community[0]);
    s.community_len = community.size();
  } else {
    s.version = SNMP_VERSION_3;
    s.securityName = &user[0];
    s.securityNameLen = user.size();
    s.securityModel = USM_SEC_MODEL_NUMBER;
    s.securityLevel = SNMP_SEC_LEVEL_NOAUTH;
    const oid* id = nullptr;
    size_t len = 0;
    if (!t.authProtocol.empty()) {
      if (!AuthOid(t.authProtocol, id, len)) {
        r.error = Error::Of(kSnmpSetup, "unknown SNMPv3 authentication protocol " + t.authProtocol);
        return r;
      }
      s.securityAuthProto = snmp_duplicate_objid(id, len);
      s.securityAuthProtoLen = len;
      s.securityAuthKeyLen = USM_AUTH_KU_LEN;
      if (t.authPass.size() < 8 ||
          generate_Ku(s.securityAuthProto, s.securityAuthProtoLen,
                      reinterpret_cast<const u_char*>(t.authPass.data()), t.authPass.size(),
                      s.securityAuthKey, &s.securityAuthKeyLen) != SNMPERR_SUCCESS) {
        r.error = Error::Of(kSnmpSetup, "the SNMPv3 authentication password is unusable (at least 8 characters)");
        return r;
      }
      s.securityLevel = SNMP_SEC_LEVEL_AUTHNOPRIV;
      if (!t.privProtocol.empty()) {
        const oid* pid = nullptr;
        size_t plen = 0;
        if (!PrivOid(t.privProtocol, pid, plen)) {
          r.error = Error::Of(kSnmpSetup, "unknown SNMPv3 privacy protocol " + t.privProtocol);
          return r;
        }
        s.securityPrivProto = snmp_duplicate_objid(pid, plen);
        s.securityPrivProtoLen = plen;
        s.securityPrivKeyLen = USM_PRIV_KU_LEN;
        if (t.privPass.size() < 8 ||
            generate_Ku(s.securityAuthProto, s.securityAuthProtoLen,
                        reinterpret_cast<const u_char*>(t.privPass.data()), t.privPass.size(),
                        s.securityPrivKey, &s.securityPrivKeyLen) != SNMPERR_SUCCESS) {
          r.error = Error::Of(kSnmpSetup, "the SNMPv3 privacy password is unusable (at least 8 characters)");
          return r;
        }
        s.securityLevel = SNMP_SEC_LEVEL_AUTHPRIV;
      }
    } else if (!t.privProtocol.empty()) {
      r.error = Error::Of(kSnmpSetup, "SNMPv3 privacy needs authentication (--snmp-auth)");
      return r;
    }
  }
  // The engine probe of v3 happens at the first request, not at the open,
  // so the open never waits.
  s.flags |= SNMP_FLAGS_DONT_PROBE;
  Session sess(snmp_sess_open(&s));
  if (!sess) {
    r.error = Error::Of(kSnmpSetup, "SNMP session to " + peer + ": " + SessionError(nullptr));
    return r;
  }
  std::unique_ptr<netsnmp_pdu, PduFree> pdu(snmp_pdu_create(SNMP_MSG_GET));
  for (const std::string& text : oids) {
    oid name[MAX_OID_LEN];
    size_t len = MAX_OID_LEN;
    if (!read_objid(text.c_str(), name, &len)) {
      r.error = Error::Of(kSnmpSetup, "not an OID: " + text);
      return r;
    }
    snmp_add_null_var(pdu.get(), name, len);
  }
  State state;
  if (snmp_sess_async_send(sess.get(), pdu.get(), &OnResponse, &state) == 0) {
    r.error = Error::Of(kSnmpSetup, "SNMP request to " + peer + ": " + SessionError(sess.get()));
    return r;
  }
  pdu.release();  // the session owns it now
  while (!state.done) {
    if (abort && abort()) {
      r.error = Error::Of(kSnmpAborted, "interrupted");
      return r;
    }
    int fds = 0, block = 0;
    fd_set set;
    FD_ZERO(&set);
    timeval tv{0, 0};
    snmp_sess_select_info(sess.get(), &fds, &set, &tv, &block);
    const long capUs = kAbortPollMs * 1000L;
    if (block || tv.tv_sec > 0 || tv.tv_usec > capUs) tv = timeval{0, capUs};
    lock.unlock();
    const int n = ::select(fds, &set, nullptr, nullptr, &tv);
    const int selectErrno = errno;
    lock.lock();
    if (n > 0) {
      snmp_sess_read(sess.get(), &set);
    } else if (n == 0) {
      snmp_sess_timeout(sess.get());
    } else if (selectErrno != EINTR) {
      r.error = Error::FromErrno(kSnmpSetup, "waiting for " + peer, selectErrno);
      return r;
    }
  }
  if (state.op == NETSNMP_CALLBACK_OP_TIMED_OUT) {
    r.error = Error::Of(kSnmpNoAnswer, "no answer from " + peer + " within " +
                                           std::to_string(t.timeoutMs) + " ms (" +
                                           std::to_string(t.retries + 1) + " tries)");
    return r;
  }
  if (state.op == NETSNMP_CALLBACK_OP_SEC_ERROR) {
    r.error = Error::Of(kSnmpAuth, "the agent's answer failed the SNMPv3 security check: " +
                                       SessionError(sess.get()));
    return r;
  }
  if (state.reportType != 0) {
    const int code = state.reportType;
    r.error = Error::Of(IsAuthError(code) ? kSnmpAuth : kSnmpAgentError,
                        std::string(IsAuthError(code) ? "the agent refused the SNMPv3 credentials: "
                                                      : "the agent reported: ") +
                            snmp_api_errstring(code));
    return r;
  }
  if (state.op != NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE) {
    r.error = Error::Of(kSnmpNoAnswer, "no usable answer from " + peer);
    return r;
  }
  if (state.errstat != SNMP_ERR_NOERROR && state.values.empty()) {
    r.error = Error::Of(kSnmpAgentError,
                        std::string("the agent answered: ") + snmp_errstring(state.errstat));
    return r;
  }
  r.values = std::move(state.values);
  return r;
}

}  // namespace snmp
}  // namespace platform
