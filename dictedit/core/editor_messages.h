// The editor's message texts (UTF-8 here; shown in the code page).
#pragma once

namespace dictedit::msg {
inline constexpr const char *kVE1001 = "VE1001 DDF情報を正しく指定してください。";
inline constexpr const char *kVE1002 = "VE1002 フィールド名を指定してください";
inline constexpr const char *kVE1003 = "VE1003 データサイズまたは小数点以下桁数が不正です";
inline constexpr const char *kVE1004 = "VE1004 フィールドはこれ以上追加できません。";
inline constexpr const char *kVE1006 = "VE1006 すでに同名のフィールドが定義されています";
inline constexpr const char *kVE1007 = "VE1007 すでに同名のテーブルが定義されています。";
inline constexpr const char *kVE1008 = "VE1008 フィールドが選択されていません";
inline constexpr const char *kVE1010 = "VE1010 フィールド [%s] を削除しますか？";
inline constexpr const char *kVE1011 = "VE1011 フィールドが定義されていません。";
inline constexpr const char *kVE1012 = "VE1012 インデックスはこれ以上設定できません。";
inline constexpr const char *kVE1017 = "VE1017 DDFOpen APIエラー(%d)";
inline constexpr const char *kVE1018 = "VE1018 DDFWriteFile APIエラー(%d)";
inline constexpr const char *kVE1019 = "VE1019 DDFWriteField APIエラー[%s](%d)";
inline constexpr const char *kVE1020 = "VE1020 DDFWriteIndex APIエラー(%d)";
inline constexpr const char *kVE1021 = "VE1021 テーブルが定義されていません";
inline constexpr const char *kVE1022 =
    "VE1022 インデックスの最後の項目はセグメントをオフにしてください。";
inline constexpr const char *kVE1023 = "VE1023 データ型が選択されていません";
inline constexpr const char *kVE1024 =
    "VE1024 フィールドにはインデックスが作成されています。先にインデックスを削除してください。";
inline constexpr const char *kVE1025 = "VE1025 DDFﾌｧｲﾙが存在しません。";
inline constexpr const char *kVE1026 = "VE1026 FILE.DDF読みエラー(%d)";
inline constexpr const char *kVE1027 = "VE1027 FIELD.DDF読みエラー(%d)";
inline constexpr const char *kVE1028 = "VE1028 INDEX.DDF 読みエラー(%d)";
inline constexpr const char *kVE1031 = "VE1031 zelko.iniへの書き込みに失敗しました。";
inline constexpr const char *kVE1039 = "VE1039 メモリが確保できません。";
inline constexpr const char *kVE1040 = "VE1040 BTRIEVE CREATEに失敗(%d)";
inline constexpr const char *kVE1041 = "VE1041 BTRIEVEﾌｧｲﾙ %s が存在します。上書きしますか？";
inline constexpr const char *kVE1045 = "VE1045 DDFファイルを保存しますか？";
inline constexpr const char *kVE1047 =
    "VE1047 新規または修正されたﾃｰﾌﾞﾙ%sに対して整合性のないとおもわれるBTRIEVEﾌｧｲﾙ %s "
    "が存在します。OKをｸﾘｯｸした場合はBTRIEVEﾌｧｲﾙを削除します。";
inline constexpr const char *kVE1048 =
    "VE1048 BTRIEVEﾌｧｲﾙの削除ができません。他のプログラムが使用中です。";
inline constexpr const char *kVE1051 = "VE1051 １ﾍﾟｰｼﾞに印字するﾌｨｰﾙﾄﾞ数が不正です。";
inline constexpr const char *kVE1052 =
    "VE1052 "
    "可変長フィールドを挿入することはできません。テーブルの最後に１フィールドのみの追加は可能です"
    "。";
inline constexpr const char *kVE1053 = "VE1053 すでに可変長の項目が存在します。";
inline constexpr const char *kVE1054 =
    "VE1054 テーブルの最後の項目以外は可変長データ型に変更できません。";
inline constexpr const char *kVE1055 = "VE1055 Named Indexは変更できません。";
inline constexpr const char *kVE1057 =
    "VE1057 "
    "テーブル[%s]"
    "にインデックスがありません。ZelkoからのDDF利用にはすくなくとも一つインデックスを作成してくださ"
    "い。";
inline constexpr const char *kVE1064 =
    "VE1064 "
    "ｲﾝﾃﾞｯｸｽ名を設定するときはセグメント・キーの場合はセグメントの先頭にセットしてください。";
inline constexpr const char *kVE1070 =
    "VE1070 "
    "ファイルのコピーまたは移動に失敗しました。オペレーティングシステムからのエラー･コードは %d "
    "です。";
inline constexpr const char *kVE1071 = "VE1071 Btrieveファイルのフォーマット変換中にエラー(%d)";
inline constexpr const char *kVE1072 =
    "VE1072 ファイル変換につかったとおもわれるファイル %s "
    "が存在します。削除して処理をすすめますか？";
inline constexpr const char *kVE1073 =
    "VE1073 Btrieve ファイルがオープンできません。Btrieveのステータスは(%d)です。";
inline constexpr const char *kVE1074 =
    "VE1074 Btrieveﾃﾞｰﾀ変換ﾓｰﾄﾞではﾌｨｰﾙﾄﾞ、ｲﾝﾃﾞｯｸｽの修正はできません。\n"
    "変更したいﾌｨｰﾙﾄﾞ、ｲﾝﾃﾞｯｸｽはいったん削除してから、追加してください。\n"
    "ﾃﾞｰﾀを変換する必要がなければ、ｼｽﾃﾑ･ｵﾌﾟｼｮﾝからﾃﾞｰﾀ変換ﾓｰﾄﾞを解除してください。";
inline constexpr const char *kVE1075 =
    "VE1075 BtrieveのDropIndexオペレーションに失敗しました。Btrieveからのステータスは(%d)です。";
inline constexpr const char *kVE1076 =
    "VE1076 BtrieveのCreateIndexオペレーションに失敗しました。Btrieveからのステータスは(%d)です。";
inline constexpr const char *kVE1081 =
    "VE1081 DDFファイルは読み込んだ後に他のプログラムによって変更されています。上書きしますか？";
}  // namespace dictedit::msg

namespace dictedit::msg {
inline constexpr const char *kVE1000 = "VE1000 DDFディレクトリを指定してください。";
inline constexpr const char *kVE1013 = "VE1013 フィールドが選択されていません。";
inline constexpr const char *kVE1014 = "VE1014 修正するインデックスが選択されていません。";
inline constexpr const char *kVE1015 =
    "VE1015 "
    "インデックス[%s]"
    "を削除しますか？\nﾃﾞｰﾀ変換ﾓｰﾄﾞの場合で、ｾｸﾞﾒﾝﾄ･ｷｰの場合はｾｸﾞﾒﾝﾄ・ｷｰを一括削除します。";
inline constexpr const char *kVE1016 = "VE1016 削除するインデックスが選択されていません";
inline constexpr const char *kVE1037 = "VE1037 テーブル[%s]を削除しますか？";
inline constexpr const char *kVE1063 = "VE1063 ｲﾝﾃﾞｯｸｽ名[%s]を削除しますか？";
inline constexpr const char *kVE1009 = "VE1009 テーブルが選択されていません";
inline constexpr const char *kVE1032 = "VE1032 搬出ﾌｧｲﾙを書き込みモードでｵｰﾌﾟﾝできません";
inline constexpr const char *kVE1033 = "VE1033 テーブル[%s]の搬出が終了しました。";
inline constexpr const char *kVE1034Open = "VE1034 搬入ﾌｧｲﾙを読み込みモードでｵｰﾌﾟﾝできません";
inline constexpr const char *kVE1034Index = "VE1034 インデックスのIDが不正です。";
inline constexpr const char *kVE1050 = "VE1050 クリップボードの内容が不正です。";
}  // namespace dictedit::msg

namespace dictedit::msg {
inline constexpr const char *kVE1042 = "VE1042 ファイル %s はすでに存在します。上書きしますか？";
inline constexpr const char *kVE1043 = "VE1043 ファイルが書き込みモードでｵｰﾌﾟﾝできません。";
inline constexpr const char *kVE1044 = "VE1044 ﾌｨｰﾙﾄﾞIDﾌｧｲﾙの出力が終了しました。";
inline constexpr const char *kVE1046 = "VE1046 書き込むﾌｫｰﾑ %s のｵｰﾌﾟﾝに失敗しました。";
inline constexpr const char *kVE1049 = "VE1049 ﾃｰﾌﾞﾙにﾌｨｰﾙﾄﾞが定義されていません。";
inline constexpr const char *kVE1058 = "VE1058 dbMagic情報ファイルがオープンできません。";
inline constexpr const char *kVE1059 = "VE1059 dbMagic情報ファイルの搬入に失敗しました。";
inline constexpr const char *kVE1060 =
    "VE1060 dbMagicの数値形フィールドに不正なデータ長があります。";
inline constexpr const char *kVE1061 = "VE1061 dbMagic情報ファイルのFILE行にDESC=が存在しません。";
inline constexpr const char *kVE1062 =
    "VE1062 dbMagic情報ファイルのFILE行にNAME=(btrieveファイル名)の定義が存在しません。";
inline constexpr const char *kVE1078 =
    "VE1078 "
    "フィールド数が多いのでフォームを作成してもVB4で利用できません。\n(VB4では最大254コントロール/"
    "Form)";
inline constexpr const char *kVE1079 = "VE1079 dbMagic情報ファイルにFILE=の行が存在しません。";
inline constexpr const char *kVE1080 =
    "VE1080 dBMagic側のフィールド名がサイズ20バイトを超えているため搬入できません。";
// A file, directory or text given with a character the code page lacks.
inline constexpr const char *kOutsideCodePage = "%s にはコードページにない文字があります。";
}  // namespace dictedit::msg
