// Writes the sample shop dictionary (customers, products, orders) into a directory through
// the dictionary library: make-shop-dictionary DIR
#include <cstdio>

#include "dictionary_builder.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-shop-dictionary DIR\n");
    return 2;
  }
  // Types: 0 String, 1 Integer, 3 Date, 5 Decimal, 7 Logical, 8 Numeric, 11 ZString,
  // 15 Auto Increment. Key flags: 1 duplicates, 2 modifiable, 16 a segment follows,
  // 256 extended type.
  const std::vector<dictio::TableSpec> tables = {
      {4,
       "CUSTOMER",
       "CUSTOMER",
       {{"CUST_NO", 15, 4, 0},
        {"NAME", 0, 30, 0},
        {"KANA", 11, 31, 0},
        {"BIRTHDAY", 3, 4, 0},
        {"CREDIT", 5, 6, 2},
        {"VIP", 7, 1, 0}},
       {{"CUST_NO", 0, 0, 0x100}, {"NAME", 1, 0, 0x103}},
       {{"ByName", 1}}},
      {5,
       "PRODUCT",
       "PRODUCT",
       {{"CODE", 0, 8, 0},
        {"NAME", 0, 40, 0},
        {"PRICE", 5, 5, 0},
        {"STOCK", 1, 4, 0},
        {"WEIGHT", 8, 8, 2},
        {"PICTURE", 0, 20, 0}},
       {{"CODE", 0, 0, 0x100}},
       {}},
      {6,
       "ORDERS",
       "ORDERS",
       {{"ORDER_NO", 15, 4, 0},
        {"CUST_NO", 1, 4, 0},
        {"ORDER_DATE", 3, 4, 0},
        {"CODE", 0, 8, 0},
        {"QTY", 1, 2, 0},
        {"AMOUNT", 5, 7, 0}},
       {{"ORDER_NO", 0, 0, 0x100}, {"CUST_NO", 1, 0, 0x113}, {"ORDER_DATE", 1, 1, 0x103}},
       {{"ByCustomer", 1}}},
  };
  int rc = dictio::BuildDictionary(argv[1], tables);
  if (rc != 0) {
    std::fprintf(stderr, "make-shop-dictionary: writing %s failed (status %d)\n", argv[1], rc);
    return 1;
  }
  std::printf("%s: dictionary with %zu tables written\n", argv[1], tables.size());
  return 0;
}
