/*
 * The shop dictionary through the flat C interface, without a form or a display:
 *
 *   shop-flat-api DIR
 *
 * DIR holds the shop dictionary (a copy of examples/shop). The program hosts a data source
 * on it, creates the CUSTOMER data file when it is missing, inserts three customers, reads
 * one back by name, raises the credit of another, lists the customers with a credit of at
 * least 1,000 by one extended read, deletes one and counts what is left. Texts are code page
 * 932 bytes; the names below are written as escapes so the source stays plain ASCII.
 */
#include <stdio.h>
#include <string.h>

#include "btrieve/btrapi.h"
#include "zelkoctl/zelkoapi.h"

static const char *const kForm = "ShopTool";
static const char *const kSource = "Zelko1";

/* "山田太郎", "佐藤花子", "鈴木一郎" in code page 932. */
static const char kYamada[] = "\x8e\x52\x93\x63\x91\xbe\x98\x59";
static const char kSato[] = "\x8d\xb2\x93\xa1\x89\xd4\x8e\x71";
static const char kSuzuki[] = "\x97\xe9\x96\xd8\x88\xea\x98\x59";

static int Fail(const char *what, int status) {
  fprintf(stderr, "shop-flat-api: %s failed with status %d\n", what, status);
  ZelkoReleaseDataSource(kForm, kSource);
  return 1;
}

static int16_t FindTable(const char *name) {
  int16_t count = DbGetNumOfTable();
  for (int16_t t = 0; t < count; ++t) {
    const char *table_name = DbGetTableName(t);
    if (table_name != NULL && strcmp(table_name, name) == 0) return t;
  }
  return -1;
}

static int16_t FindField(int16_t table, const char *name) {
  int16_t count = DbGetNumOfField(table);
  for (int16_t f = 0; f < count; ++f) {
    const char *field_name = DbGetFieldName(table, f);
    if (field_name != NULL && strcmp(field_name, name) == 0) return f;
  }
  return -1;
}

/* Prints a field of the current record; the text is the caller's to free. */
static void PrintField(const char *label, char *text) {
  printf("%s=%s", label, text != NULL ? text : "");
  SysFreeString(text);
}

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: shop-flat-api DIR\n");
    return 2;
  }
  int16_t status = ZelkoHostDataSource(kForm, kSource, argv[1]);
  if (status != 0) return Fail("hosting the data source", status);
  status = DbAttachControl(kSource, kForm);
  if (status != 0) return Fail("DbAttachControl", status);

  int16_t customer = FindTable("CUSTOMER");
  if (customer < 0) return Fail("finding CUSTOMER", customer);
  status = DbOpen(customer);
  if (status == 12) { /* no data file yet */
    status = DbCreate(customer);
    if (status != 0) return Fail("DbCreate", status);
    status = DbOpen(customer);
  }
  if (status != 0) return Fail("DbOpen", status);

  int16_t name = FindField(customer, "NAME");
  int16_t birthday = FindField(customer, "BIRTHDAY");
  int16_t credit = FindField(customer, "CREDIT");
  int16_t number = FindField(customer, "CUST_NO");
  if (name < 0 || birthday < 0 || credit < 0 || number < 0) return Fail("finding fields", -5);
  int16_t by_name = ZelkoFindIndex(customer, "ByName");
  if (by_name < 0) return Fail("finding the index ByName", by_name);

  /* Insert: an empty buffer, the values, then Insert (CUST_NO numbers itself). */
  const char *names[] = {kYamada, kSato, kSuzuki};
  const char *birthdays[] = {"1970/04/01", "1985/12/24", "1992/07/07"};
  const char *credits[] = {"1500.00", "300.00", "980.50"};
  for (int i = 0; i < 3; ++i) {
    DbClearFieldBuffer(customer);
    DbSetFieldData(customer, name, names[i]);
    DbSetFieldData(customer, birthday, birthdays[i]);
    DbSetFieldData(customer, credit, credits[i]);
    status = DbAccess(B_INSERT, customer, 0);
    if (status != 0) return Fail("inserting", status);
  }
  printf("inserted 3\n");

  /* Read by key: the name into the buffer, Get Equal along ByName. */
  DbClearFieldBuffer(customer);
  DbSetFieldData(customer, name, kSato);
  status = DbAccess(B_GET_EQUAL, customer, by_name);
  if (status != 0) return Fail("reading by name", status);
  printf("found ");
  PrintField("CUST_NO", DbGetFieldData(customer, number));
  printf(" ");
  PrintField("BIRTHDAY", DbGetFieldData(customer, birthday));
  printf(" ");
  PrintField("CREDIT", DbGetFieldData(customer, credit));
  printf("\n");

  /* Update the record just read. */
  DbSetFieldData(customer, credit, "2000.00");
  status = DbAccess(B_UPDATE, customer, by_name);
  if (status != 0) return Fail("updating", status);
  printf("updated\n");

  /* One extended read along CUST_NO from the first record: "EG" includes that record. */
  char mode[3];
  ZelkoExSetMode("EG", mode);
  status = DbAccess(B_GET_FIRST, customer, 0);
  if (status != 0) return Fail("Get First", status);
  int16_t result = 0, count = 0;
  status = DbExAccess(B_GET_NEXT_EXTENDED, customer, "@CREDIT >= 1000", "CUST_NO,NAME,CREDIT", 0, 0,
                      100, 0, &result, &count);
  ZelkoExSetMode(mode, NULL);
  if (status != 0 && status != 9) return Fail("DbExAccess", status);
  printf("credit >= 1000: %d\n", count);
  for (int16_t r = 0; r < count; ++r) {
    printf("  ");
    PrintField("CUST_NO", DbExGetFieldData(result, number, r));
    printf(" ");
    PrintField("CREDIT", DbExGetFieldData(result, credit, r));
    printf("\n");
  }
  DbExFree(result);

  /* Delete the first customer by name, then count. */
  DbClearFieldBuffer(customer);
  DbSetFieldData(customer, name, kYamada);
  status = DbAccess(B_GET_EQUAL, customer, by_name);
  if (status == 0) status = DbAccess(B_DELETE, customer, by_name);
  if (status != 0) return Fail("deleting", status);
  int32_t records = 0;
  status = DbGetNumOfRecords(customer, &records);
  if (status != 0) return Fail("counting", status);
  printf("deleted 1, %d left\n", (int)records);

  DbClose(customer);
  status = ZelkoReleaseDataSource(kForm, kSource);
  return status == 0 ? 0 : Fail("releasing", status);
}
