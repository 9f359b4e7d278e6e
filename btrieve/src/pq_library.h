// libpq, the PostgreSQL client library, loaded when the first server file is opened. With its
// TLS, Kerberos and LDAP libraries it costs a process about 10 ms and 6 MB at start, which
// every program that only reads local files would otherwise pay.
#pragma once

#include <libpq-fe.h>

#include <string>

namespace btr {

// clang-format off
#define ZELKO_PQ_FUNCTIONS(X) \
  X(PQclear) \
  X(PQcmdStatus) \
  X(PQcmdTuples) \
  X(PQconnectdb) \
  X(PQconninfoFree) \
  X(PQconninfoParse) \
  X(PQerrorMessage) \
  X(PQexec) \
  X(PQexecParams) \
  X(PQexecPrepared) \
  X(PQfinish) \
  X(PQgetisnull) \
  X(PQgetlength) \
  X(PQgetvalue) \
  X(PQntuples) \
  X(PQprepare) \
  X(PQresultErrorField) \
  X(PQresultErrorMessage) \
  X(PQresultStatus) \
  X(PQsetNoticeProcessor) \
  X(PQstatus) \
  X(PQtransactionStatus)
// clang-format on

// The functions the record manager calls, by their libpq names.
struct PqLibrary {
#define ZELKO_PQ_MEMBER(name) decltype(&::name) name = nullptr;
  ZELKO_PQ_FUNCTIONS(ZELKO_PQ_MEMBER)
#undef ZELKO_PQ_MEMBER
};

// The library, loaded on the first call; nullptr when it cannot be loaded (not installed, a
// function missing), with the loader's reason in *why.
const PqLibrary *LoadPq(std::string *why = nullptr);

// The loaded library; only after LoadPq succeeded.
const PqLibrary &Pq();

}  // namespace btr
