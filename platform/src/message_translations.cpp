// English texts of the system's messages, shown when the locale asks for English. Each entry
// pairs a message's own (Japanese) format with its translation; both take the same arguments
// in the same order (a test checks every entry, and a pair that disagrees is never used).
#include <cstdlib>
#include <cstring>
#include <string>

#include "zplatform/codepage.h"
#include "zplatform/messages.h"
#include "zplatform/program.h"

namespace zplatform {

namespace {

struct Translation {
  const char *own;
  const char *english;
};

const Translation kTranslations[] = {
    // The control module.
    {"VE001 メモリ不足  %s %d", "VE001 Out of memory  %s %d"},
    {"VE007 Btrieveファイルの生成に失敗(rc=%d)", "VE007 Creating the Btrieve file failed (rc=%d)"},
    {"VE011 データ型が不正です。", "VE011 The data type is invalid."},
    {"VE024 テーブルIDの指定が範囲外です。", "VE024 The table ID is out of range."},
    {"VE025 フィールドIDの指定が範囲外です。", "VE025 The field ID is out of range."},
    {"VE028 DDFOpen APIエラー(%d)", "VE028 DDFOpen API error (%d)"},
    {"VE029 DDF読み込みエラー(%d)", "VE029 Error reading the DDF (%d)"},
    {"VE030 DDF読み込みエラー", "VE030 Error reading the DDF"},
    {"VE031 DDF読み込みエラー(%d)", "VE031 Error reading the DDF (%d)"},
    {"VE040 抽出するフィールド・リストが指定されていません",
     "VE040 No list of fields to extract is given"},
    {"VE041 検索条件のフィールドは@が必要です。",
     "VE041 A field in a search condition needs a leading @."},
    {"VE042 比較演算子は(=,<,>,<>,>=,<=)のいずれかを指定してください",
     "VE042 Give one of the comparison operators (=,<,>,<>,>=,<=)"},
    {"VE043 Extend系オペレーションに可変長データは指定できません",
     "VE043 Variable-length data cannot be used in extended operations"},
    {"VE044 このオペレーション・コード %d は使用可能ではありません",
     "VE044 Operation code %d cannot be used here"},
    {"VE046 データの指定がなく、& | オペレータが指定されています。不正な検索条件文字列は(%s)です。",
     "VE046 An & or | operator is given without a value. The invalid search condition is "
     "(%s)."},
    {"VE801 ボタンのDbOperationプロパティが不正です。",
     "VE801 The button's DbOperation property is invalid."},
    {"VE802 DbSourceまたはDbTableﾌﾟﾛﾊﾟﾃｨが不正です。",
     "VE802 The DbSource or DbTable property is invalid."},
    {"VE803 Btrieveファイル %s のオープンに失敗。(%d)",
     "VE803 Opening the Btrieve file %s failed. (%d)"},
    {"VE804 インデックスの指定が不正です。", "VE804 The index is invalid."},
    {"VE806 BtrieveﾌｧｲﾙとDDFファイルの定義が合致していません。(Btrieve=%d,DDF=%d)",
     "VE806 The Btrieve file does not match its definition in the DDF. (Btrieve=%d,DDF=%d)"},
    {"VE807 ボタンによるBtrieveオペレーションに失敗しました。(%d)",
     "VE807 The button's Btrieve operation failed. (%d)"},
    {"VE808 ParentのDispatchIDを取得できません。", "VE808 Cannot get the Parent's DispatchID."},
    {"VE809 Parentのディスパッチ・インターフェースを取得できません。",
     "VE809 Cannot get the Parent's dispatch interface."},
    {"VE810 ParentのNameのDispatchIDを取得できません。",
     "VE810 Cannot get the DispatchID of the Parent's Name."},
    {"VE811 ParentのNameディスパッチ・インターフェースを取得できません。",
     "VE811 Cannot get the dispatch interface of the Parent's Name."},
    {"VE812 DDFファイルクローズ・エラー(%d)", "VE812 Error closing the DDF files (%d)"},
    {"VE813 Btrieveファイル %s のクローズ・エラー(%d)",
     "VE813 Error closing the Btrieve file %s (%d)"},
    {"VE814 コンテナからName,FormNameを取得できません。",
     "VE814 Cannot get Name and FormName from the container."},
    {"VE815 プロパティの値が不正です。", "VE815 The property value is invalid."},
    {"VE818 Extendedオペレーションで指定されたフィールド(%s)が存在しません。",
     "VE818 The field (%s) given to the extended operation does not exist."},
    {"VE823 サイン・ニブルの指定が不正です。", "VE823 The sign nibble is invalid."},
    {"VE015 ｲﾒ-ｼﾞ･ｺﾝﾄﾛ-ﾙにﾋﾞｯﾄﾏｯﾌﾟを読み込めません",
     "VE015 Cannot load the bitmap into the image control"},
    {"VE016 内部ｴﾗ-:VBAlocPixExが失敗しました。", "VE016 Internal error: VBAlocPixEx failed."},
    {"VE017 内部ｴﾗ-:FindControlでZelkoDBがみつかりません",
     "VE017 Internal error: FindControl cannot find ZelkoDB"},
    {"VE018 ZelkoPixはﾌｫ-ﾑに最大個数(%d)存在します",
     "VE018 The form already holds the most ZelkoPix controls allowed (%d)"},
    {"VE019 メタファイルが読めません", "VE019 Cannot read the metafile"},
    {"VE020 アイコンファイルをオープン出来ません。", "VE020 Cannot open the icon file."},
    {"VE021 アイコンファイルのフォーマットが不正です。",
     "VE021 The icon file's format is invalid."},
    {"VE022 CreateIconに失敗しました。", "VE022 CreateIcon failed."},
    {"VE023 アルダス形式のメタファイルを読めません。", "VE023 Cannot read the Aldus metafile."},
    {"VE026 テンポラリ文字領域が確保できません(%d)",
     "VE026 Cannot allocate the temporary text area (%d)"},
    {"VE027 インデックス番号が不正または、インデックスが有りません。",
     "VE027 The index number is invalid, or there is no index."},
    {"VE039 Extended Operationエラー(%d)", "VE039 Extended operation error (%d)"},
    {"VE045 DbMaxRecordsが指定されていません。", "VE045 DbMaxRecords is not set."},
    {"VE050 テーブルID(%d)のレコード長がDDF定義と一致していません。Btrieve=%d,DDF=%d",
     "VE050 The record length of table ID (%d) does not match the DDF. Btrieve=%d,DDF=%d"},
    {"VE800 オープンモードの指定不正です。", "VE800 The open mode is invalid."},
    {"VE805 データファイル %sをオープンできません。(%d)",
     "VE805 Cannot open the data file %s. (%d)"},
    {"VE816 ﾊﾟｰｾﾝﾃｰｼﾞｵﾍﾟﾚｰｼｮﾝに失敗(%d)", "VE816 The percentage operation failed (%d)"},
    {"VE817 ｹﾞｯﾄﾊﾟｰｾﾝﾃｰｼﾞｵﾍﾟﾚｰｼｮﾝが失敗(%d)", "VE817 Get By Percentage failed (%d)"},
    {"VE819 イメージ・ファイル(%s)が存在しません。", "VE819 The image file (%s) does not exist."},
    {"VE820 GetPositionに失敗しました(%d)", "VE820 GetPosition failed (%d)"},
    {"VE821 Updateに失敗しました(%d)", "VE821 Update failed (%d)"},
    {"VE822 GetDirectに失敗しました(%d)", "VE822 GetDirect failed (%d)"},
    // The dictionary editor.
    {"VE1001 DDF情報を正しく指定してください。", "VE1001 Give the DDF information correctly."},
    {"VE1002 フィールド名を指定してください", "VE1002 Give a field name"},
    {"VE1003 データサイズまたは小数点以下桁数が不正です",
     "VE1003 The data size or the number of decimals is invalid"},
    {"VE1004 フィールドはこれ以上追加できません。", "VE1004 No more fields can be added."},
    {"VE1006 すでに同名のフィールドが定義されています",
     "VE1006 A field of the same name is already defined"},
    {"VE1007 すでに同名のテーブルが定義されています。",
     "VE1007 A table of the same name is already defined."},
    {"VE1008 フィールドが選択されていません", "VE1008 No field is selected"},
    {"VE1010 フィールド [%s] を削除しますか？", "VE1010 Delete the field [%s]?"},
    {"VE1011 フィールドが定義されていません。", "VE1011 The table has no fields."},
    {"VE1012 インデックスはこれ以上設定できません。", "VE1012 No more indexes can be set."},
    {"VE1017 DDFOpen APIエラー(%d)", "VE1017 DDFOpen API error (%d)"},
    {"VE1018 DDFWriteFile APIエラー(%d)", "VE1018 DDFWriteFile API error (%d)"},
    {"VE1019 DDFWriteField APIエラー[%s](%d)", "VE1019 DDFWriteField API error [%s] (%d)"},
    {"VE1020 DDFWriteIndex APIエラー(%d)", "VE1020 DDFWriteIndex API error (%d)"},
    {"VE1021 テーブルが定義されていません", "VE1021 No table is defined"},
    {"VE1022 インデックスの最後の項目はセグメントをオフにしてください。",
     "VE1022 Turn the segment flag off on the last item of the index."},
    {"VE1023 データ型が選択されていません", "VE1023 No data type is selected"},
    {"VE1024 フィールドにはインデックスが作成されています。先にインデックスを削除してください。",
     "VE1024 The field has an index. Delete the index first."},
    {"VE1025 DDFﾌｧｲﾙが存在しません。", "VE1025 The DDF files do not exist."},
    {"VE1026 FILE.DDF読みエラー(%d)", "VE1026 Error reading FILE.DDF (%d)"},
    {"VE1027 FIELD.DDF読みエラー(%d)", "VE1027 Error reading FIELD.DDF (%d)"},
    {"VE1028 INDEX.DDF 読みエラー(%d)", "VE1028 Error reading INDEX.DDF (%d)"},
    {"VE1031 zelko.iniへの書き込みに失敗しました。", "VE1031 Writing to zelko.ini failed."},
    {"VE1039 メモリが確保できません。", "VE1039 Out of memory."},
    {"VE1040 BTRIEVE CREATEに失敗(%d)", "VE1040 BTRIEVE CREATE failed (%d)"},
    {"VE1041 BTRIEVEﾌｧｲﾙ %s が存在します。上書きしますか？",
     "VE1041 The Btrieve file %s exists. Overwrite it?"},
    {"VE1045 DDFファイルを保存しますか？", "VE1045 Save the DDF files?"},
    {"VE1047 新規または修正されたﾃｰﾌﾞﾙ%sに対して整合性のないとおもわれるBTRIEVEﾌｧｲﾙ %s "
     "が存在します。OKをｸﾘｯｸした場合はBTRIEVEﾌｧｲﾙを削除します。",
     "VE1047 For the new or changed table %s there is a Btrieve file %s that seems not to "
     "match it. Clicking OK deletes the Btrieve file."},
    {"VE1048 BTRIEVEﾌｧｲﾙの削除ができません。他のプログラムが使用中です。",
     "VE1048 Cannot delete the Btrieve file. Another program is using it."},
    {"VE1051 １ﾍﾟｰｼﾞに印字するﾌｨｰﾙﾄﾞ数が不正です。",
     "VE1051 The number of fields to print on one page is invalid."},
    {"VE1052 "
     "可変長フィールドを挿入することはできません。テーブルの最後に１フィールドのみの追加は可能です"
     "。",
     "VE1052 A variable-length field cannot be inserted. One may be added, as the table's last "
     "field only."},
    {"VE1053 すでに可変長の項目が存在します。", "VE1053 A variable-length item already exists."},
    {"VE1054 テーブルの最後の項目以外は可変長データ型に変更できません。",
     "VE1054 Only the table's last item can be changed to a variable-length data type."},
    {"VE1055 Named Indexは変更できません。", "VE1055 A Named Index cannot be changed."},
    {"VE1057 "
     "テーブル[%s]"
     "にインデックスがありません。ZelkoからのDDF利用にはすくなくとも一つインデックスを作成してくだ"
     "さ"
     "い。",
     "VE1057 Table [%s] has no index. Create at least one index to use the DDF from Zelko."},
    {"VE1064 "
     "ｲﾝﾃﾞｯｸｽ名を設定するときはセグメント・キーの場合はセグメントの先頭にセットしてください。",
     "VE1064 To name a segmented key, set the name on the key's first segment."},
    {"VE1070 "
     "ファイルのコピーまたは移動に失敗しました。オペレーティングシステムからのエラー･コードは %d "
     "です。",
     "VE1070 Copying or moving the file failed. The operating system's error code is %d."},
    {"VE1071 Btrieveファイルのフォーマット変換中にエラー(%d)",
     "VE1071 Error while converting the Btrieve file's format (%d)"},
    {"VE1072 ファイル変換につかったとおもわれるファイル %s "
     "が存在します。削除して処理をすすめますか？",
     "VE1072 The file %s, apparently left by a file conversion, exists. Delete it and go on?"},
    {"VE1073 Btrieve ファイルがオープンできません。Btrieveのステータスは(%d)です。",
     "VE1073 Cannot open the Btrieve file. The Btrieve status is (%d)."},
    {"VE1074 Btrieveﾃﾞｰﾀ変換ﾓｰﾄﾞではﾌｨｰﾙﾄﾞ、ｲﾝﾃﾞｯｸｽの修正はできません。\n"
     "変更したいﾌｨｰﾙﾄﾞ、ｲﾝﾃﾞｯｸｽはいったん削除してから、追加してください。\n"
     "ﾃﾞｰﾀを変換する必要がなければ、ｼｽﾃﾑ･ｵﾌﾟｼｮﾝからﾃﾞｰﾀ変換ﾓｰﾄﾞを解除してください。",
     "VE1074 Fields and indexes cannot be changed in Btrieve data conversion mode.\n"
     "Delete the field or index you want to change, then add it again.\n"
     "If the data need not be converted, turn data conversion mode off in the system "
     "options."},
    {"VE1075 BtrieveのDropIndexオペレーションに失敗しました。Btrieveからのステータスは(%d)です。",
     "VE1075 The Btrieve Drop Index operation failed. The Btrieve status is (%d)."},
    {"VE1076 "
     "BtrieveのCreateIndexオペレーションに失敗しました。Btrieveからのステータスは(%d)です。",
     "VE1076 The Btrieve Create Index operation failed. The Btrieve status is (%d)."},
    {"VE1000 DDFディレクトリを指定してください。", "VE1000 Choose the DDF directory."},
    {"VE1013 フィールドが選択されていません。", "VE1013 No field is chosen."},
    {"VE1014 修正するインデックスが選択されていません。", "VE1014 No index to change is selected."},
    {"VE1015 "
     "インデックス[%s]"
     "を削除しますか？\nﾃﾞｰﾀ変換ﾓｰﾄﾞの場合で、ｾｸﾞﾒﾝﾄ･ｷｰの場合はｾｸﾞﾒﾝﾄ・ｷｰを一括削除します。",
     "VE1015 Delete the index [%s]?\nIn data conversion mode every segment of a segmented key is "
     "deleted together."},
    {"VE1016 削除するインデックスが選択されていません", "VE1016 No index to delete is selected"},
    {"VE1037 テーブル[%s]を削除しますか？", "VE1037 Delete the table [%s]?"},
    {"VE1063 ｲﾝﾃﾞｯｸｽ名[%s]を削除しますか？", "VE1063 Delete the index name [%s]?"},
    {"VE1009 テーブルが選択されていません", "VE1009 No table is selected"},
    {"VE1032 搬出ﾌｧｲﾙを書き込みモードでｵｰﾌﾟﾝできません",
     "VE1032 Cannot open the export file for writing"},
    {"VE1033 テーブル[%s]の搬出が終了しました。", "VE1033 Table [%s] has been exported."},
    {"VE1034 搬入ﾌｧｲﾙを読み込みモードでｵｰﾌﾟﾝできません",
     "VE1034 Cannot open the import file for reading"},
    {"VE1034 インデックスのIDが不正です。", "VE1034 The index ID is invalid."},
    {"VE1050 クリップボードの内容が不正です。", "VE1050 The clipboard's contents are invalid."},
    {"VE1042 ファイル %s はすでに存在します。上書きしますか？",
     "VE1042 The file %s already exists. Overwrite it?"},
    {"VE1043 ファイルが書き込みモードでｵｰﾌﾟﾝできません。",
     "VE1043 Cannot open the file for writing."},
    {"VE1044 ﾌｨｰﾙﾄﾞIDﾌｧｲﾙの出力が終了しました。", "VE1044 The field ID file has been written."},
    {"VE1046 書き込むﾌｫｰﾑ %s のｵｰﾌﾟﾝに失敗しました。",
     "VE1046 Opening the form %s for writing failed."},
    {"VE1049 ﾃｰﾌﾞﾙにﾌｨｰﾙﾄﾞが定義されていません。", "VE1049 The table has no fields defined."},
    {"VE1058 dbMagic情報ファイルがオープンできません。",
     "VE1058 Cannot open the dbMagic information file."},
    {"VE1059 dbMagic情報ファイルの搬入に失敗しました。",
     "VE1059 Importing the dbMagic information file failed."},
    {"VE1060 dbMagicの数値形フィールドに不正なデータ長があります。",
     "VE1060 A numeric dbMagic field has an invalid data length."},
    {"VE1061 dbMagic情報ファイルのFILE行にDESC=が存在しません。",
     "VE1061 The FILE line of the dbMagic information file has no DESC=."},
    {"VE1062 dbMagic情報ファイルのFILE行にNAME=(btrieveファイル名)の定義が存在しません。",
     "VE1062 The FILE line of the dbMagic information file has no NAME= (Btrieve file name)."},
    {"VE1078 "
     "フィールド数が多いのでフォームを作成してもVB4で利用できません。\n(VB4では最大254コントロール/"
     "Form)",
     "VE1078 There are too many fields: a form made from them cannot be used in VB4.\n(VB4 "
     "allows at most 254 controls per form)"},
    {"VE1079 dbMagic情報ファイルにFILE=の行が存在しません。",
     "VE1079 The dbMagic information file has no FILE= line."},
    {"VE1080 dBMagic側のフィールド名がサイズ20バイトを超えているため搬入できません。",
     "VE1080 A dbMagic field name is longer than 20 bytes, so it cannot be imported."},
    {"VE1081 DDFファイルは読み込んだ後に他のプログラムによって変更されています。上書きしますか？",
     "VE1081 Another program changed the DDF files after they were read. Overwrite them?"},
    {"%s にはコードページにない文字があります。", "%s has characters the code page lacks."},
    // The scroll bars' status texts.
    {"ファイルがオ－プンされてません。(rc=3)", "The file is not open. (rc=3)"},
    {"該当レコ－ドがみつかりません。", "No such record was found."},
    {"キ－の値が重複しています。", "The key value is a duplicate."},
    {"現在レコ－ドがありません。", "There is no current record."},
    {"ファイルの先頭または最後です。", "This is the first or the last record of the file."},
    {"ディスクが満杯。", "The disk is full."},
    {"Btrieve エラ－(rc=%d)", "Btrieve error (rc=%d)"},
};

}  // namespace

std::string ConversionsOf(const char *format) {
  std::string conversions;
  for (const char *p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p != '\0' && std::strchr("-+ #0123456789.lhzjt", *p) != nullptr)
      conversions.push_back(*p++);
    if (*p == '\0') break;
    conversions.push_back(*p);
    conversions.push_back(';');
  }
  return conversions;
}

bool EnglishMessagesWanted() {
  // The locale categories as POSIX orders them; a C or POSIX locale keeps the system's own
  // texts, and only then is LANGUAGE's list of preferences consulted (as gettext does).
  std::string locale = EnvironmentText("LC_ALL");
  if (locale.empty()) locale = EnvironmentText("LC_MESSAGES");
  if (locale.empty()) locale = EnvironmentText("LANG");
  if (locale.empty() || locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0)
    return false;
  std::string language = EnvironmentText("LANGUAGE");
  std::string first = language.substr(0, language.find(':'));
  if (!first.empty()) return first.rfind("en", 0) == 0;
  return locale.rfind("en", 0) == 0;
}

const char *LocalizedFormat(const char *format_utf8) {
  if (format_utf8 == nullptr) return format_utf8;
  // English where the locale asks for it, and where the code page cannot hold the system's
  // own texts (code_page 1252): they would be shown as a row of "?".
  std::string in_code_page;
  if (!EnglishMessagesWanted() && ActiveCodePage().FromUtf8Holds(format_utf8, &in_code_page))
    return format_utf8;
  for (const Translation &t : kTranslations) {
    if (std::strcmp(t.own, format_utf8) == 0)
      return ConversionsOf(t.own) == ConversionsOf(t.english) ? t.english : format_utf8;
  }
  return format_utf8;
}

std::vector<std::pair<std::string, std::string>> MessageTranslations() {
  std::vector<std::pair<std::string, std::string>> all;
  for (const Translation &t : kTranslations)
    all.emplace_back(t.own, t.english);
  return all;
}

}  // namespace zplatform
