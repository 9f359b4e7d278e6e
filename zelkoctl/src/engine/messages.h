// The control module's message table. Each text begins with its code and is shown, formatted
// with the values of the failing call, in a task-modal box without owner.
#pragma once

namespace zelko {

namespace msg {
inline constexpr const char *kVE001 = "VE001 メモリ不足  %s %d";
inline constexpr const char *kVE007 = "VE007 Btrieveファイルの生成に失敗(rc=%d)";
inline constexpr const char *kVE011 = "VE011 データ型が不正です。";
inline constexpr const char *kVE024 = "VE024 テーブルIDの指定が範囲外です。";
inline constexpr const char *kVE025 = "VE025 フィールドIDの指定が範囲外です。";
inline constexpr const char *kVE028 = "VE028 DDFOpen APIエラー(%d)";
inline constexpr const char *kVE029 = "VE029 DDF読み込みエラー(%d)";
inline constexpr const char *kVE030 = "VE030 DDF読み込みエラー";
inline constexpr const char *kVE031 = "VE031 DDF読み込みエラー(%d)";
inline constexpr const char *kVE040 = "VE040 抽出するフィールド・リストが指定されていません";
inline constexpr const char *kVE041 = "VE041 検索条件のフィールドは@が必要です。";
inline constexpr const char *kVE042 =
    "VE042 比較演算子は(=,<,>,<>,>=,<=)のいずれかを指定してください";
inline constexpr const char *kVE043 = "VE043 Extend系オペレーションに可変長データは指定できません";
inline constexpr const char *kVE044 =
    "VE044 このオペレーション・コード %d は使用可能ではありません";
inline constexpr const char *kVE046 =
    "VE046 データの指定がなく、& | オペレータが指定されています。不正な検索条件文字列は(%s)です。";
inline constexpr const char *kVE801 = "VE801 ボタンのDbOperationプロパティが不正です。";
inline constexpr const char *kVE802 = "VE802 DbSourceまたはDbTableﾌﾟﾛﾊﾟﾃｨが不正です。";
inline constexpr const char *kVE803 = "VE803 Btrieveファイル %s のオープンに失敗。(%d)";
inline constexpr const char *kVE804 = "VE804 インデックスの指定が不正です。";
inline constexpr const char *kVE806 =
    "VE806 BtrieveﾌｧｲﾙとDDFファイルの定義が合致していません。(Btrieve=%d,DDF=%d)";
inline constexpr const char *kVE807 = "VE807 ボタンによるBtrieveオペレーションに失敗しました。(%d)";
inline constexpr const char *kVE808 = "VE808 ParentのDispatchIDを取得できません。";
inline constexpr const char *kVE809 =
    "VE809 Parentのディスパッチ・インターフェースを取得できません。";
inline constexpr const char *kVE810 = "VE810 ParentのNameのDispatchIDを取得できません。";
inline constexpr const char *kVE811 =
    "VE811 ParentのNameディスパッチ・インターフェースを取得できません。";
inline constexpr const char *kVE812 = "VE812 DDFファイルクローズ・エラー(%d)";
inline constexpr const char *kVE813 = "VE813 Btrieveファイル %s のクローズ・エラー(%d)";
inline constexpr const char *kVE814 = "VE814 コンテナからName,FormNameを取得できません。";
inline constexpr const char *kVE815 = "VE815 プロパティの値が不正です。";
inline constexpr const char *kVE818 =
    "VE818 Extendedオペレーションで指定されたフィールド(%s)が存在しません。";
inline constexpr const char *kVE823 = "VE823 サイン・ニブルの指定が不正です。";
inline constexpr const char *kVE015 = "VE015 ｲﾒ-ｼﾞ･ｺﾝﾄﾛ-ﾙにﾋﾞｯﾄﾏｯﾌﾟを読み込めません";
inline constexpr const char *kVE016 = "VE016 内部ｴﾗ-:VBAlocPixExが失敗しました。";
inline constexpr const char *kVE017 = "VE017 内部ｴﾗ-:FindControlでZelkoDBがみつかりません";
inline constexpr const char *kVE018 = "VE018 ZelkoPixはﾌｫ-ﾑに最大個数(%d)存在します";
inline constexpr const char *kVE019 = "VE019 メタファイルが読めません";
inline constexpr const char *kVE020 = "VE020 アイコンファイルをオープン出来ません。";
inline constexpr const char *kVE021 = "VE021 アイコンファイルのフォーマットが不正です。";
inline constexpr const char *kVE022 = "VE022 CreateIconに失敗しました。";
inline constexpr const char *kVE023 = "VE023 アルダス形式のメタファイルを読めません。";
inline constexpr const char *kVE026 = "VE026 テンポラリ文字領域が確保できません(%d)";
inline constexpr const char *kVE027 =
    "VE027 インデックス番号が不正または、インデックスが有りません。";
inline constexpr const char *kVE039 = "VE039 Extended Operationエラー(%d)";
inline constexpr const char *kVE045 = "VE045 DbMaxRecordsが指定されていません。";
inline constexpr const char *kVE050 =
    "VE050 テーブルID(%d)のレコード長がDDF定義と一致していません。Btrieve=%d,DDF=%d";
inline constexpr const char *kVE800 = "VE800 オープンモードの指定不正です。";
inline constexpr const char *kVE805 = "VE805 データファイル %sをオープンできません。(%d)";
inline constexpr const char *kVE816 = "VE816 ﾊﾟｰｾﾝﾃｰｼﾞｵﾍﾟﾚｰｼｮﾝに失敗(%d)";
inline constexpr const char *kVE817 = "VE817 ｹﾞｯﾄﾊﾟｰｾﾝﾃｰｼﾞｵﾍﾟﾚｰｼｮﾝが失敗(%d)";
inline constexpr const char *kVE819 = "VE819 イメージ・ファイル(%s)が存在しません。";
inline constexpr const char *kVE820 = "VE820 GetPositionに失敗しました(%d)";
inline constexpr const char *kVE821 = "VE821 Updateに失敗しました(%d)";
inline constexpr const char *kVE822 = "VE822 GetDirectに失敗しました(%d)";
}  // namespace msg

// Source module names that VE001 names.
namespace module_name {
inline constexpr const char *kZlkdb = "Zlkdb";
inline constexpr const char *kZlkDbEx = "zlkDbEx";
inline constexpr const char *kZlkutil = "zlkutil";
inline constexpr const char *kZlkutil2 = "Zlkutil2";
inline constexpr const char *kZLKGridUtil = "ZLKGridUtil";
}  // namespace module_name

// The module's string table: the text of message `number` (the digits of its code: 808 is
// VE808), or null for a number the table does not hold.
const char *MessageByNumber(int number);

// Formats a message (UTF-8 format, code-page string arguments) and shows it; showing never
// changes a result.
void ShowMessage(const char *format_utf8, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zelko
