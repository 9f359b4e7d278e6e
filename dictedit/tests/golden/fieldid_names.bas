Attribute VB_Name = "ZelkoSymbol"
Option Explicit
'√∞ÃﬁŸ º›ŒﬁŸ for CUST
Global Const TID_CUST = "CUST"
'Ã®∞Ÿƒﬁ º›ŒﬁŸ
Global Const FID_NAME = "NAME"
Global Const FID_KANA = "KANA"
Global Const FID_èZèä = "èZèä"
Global Const FID_PRICE = "PRICE"
Global Const FID_AGE = "AGE"
'≤›√ﬁØ∏Ω º›ŒﬁŸ
Global Const KID_NAME = "NAME"
Global Const KID_KANA = "KANA"
Global Const KID_AGE = "AGE"
'≤›√ﬁØ∏Ωñºº›ŒﬁŸ
Global Const KID_BY^NAME = "BY^NAME"
'√∞ÃﬁŸ º›ŒﬁŸ for ITEM
Global Const TID_ITEM = "ITEM"
'Ã®∞Ÿƒﬁ º›ŒﬁŸ
Global Const FID_CODE = "CODE"
'≤›√ﬁØ∏Ω º›ŒﬁŸ
Global Const KID_CODE = "CODE"
