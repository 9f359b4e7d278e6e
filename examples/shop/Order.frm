VERSION 5.00
Object = "{CD6D08F8-E47B-4645-B049-2D709AB7CA6E}#1.1#0"; "ZELKOCTL.OCX"
Begin VB.Form Order
   Caption         =   "íçï∂"
   Height          =   4200
   Left            =   1485
   LinkTopic       =   "Order"
   ScaleHeight     =   5595
   ScaleWidth      =   8070
   Top             =   1290
   Width           =   8400
   Begin VB.Label Label1 
      Caption         =   "å⁄ãq"
      Height          =   300
      Left            =   300
      Top             =   150
      Width           =   900
   End
   Begin ZLKBTRLibCtl.ZLKEdit CustName 
      Height          =   330
      Left            =   1200
      TabIndex        =   0
      Top             =   120
      Width           =   2700
      BorderStyle     =   1
      DbSource        =   "Zelko1"
      DbTable         =   "CUSTOMER"
      DbField         =   "NAME"
   End
   Begin ZLKBTRLibCtl.ZLKVScroll VScroll1 
      Height          =   1350
      Left            =   3960
      TabIndex        =   1
      Top             =   120
      Width           =   255
      DbSource        =   "Zelko1"
      DbTable         =   "CUSTOMER"
      DbIndex         =   "CUST_NO"
   End
   Begin ZLKBTRLibCtl.ZLKCheck Check1 
      Caption         =   "âÔàı"
      Height          =   300
      Left            =   1200
      TabIndex        =   2
      Top             =   540
      Width           =   1200
      DbSource        =   "Zelko1"
      DbTable         =   "CUSTOMER"
      DbField         =   "VIP"
      DbValueTrue     =   "1"
      DbValueFalse    =   "0"
   End
   Begin ZLKBTRLibCtl.ZLKOptBtn Option1 
      Caption         =   "âÔàıâøäi"
      Height          =   300
      Left            =   1200
      TabIndex        =   3
      Top             =   900
      Width           =   1300
      DbSource        =   "Zelko1"
      DbTable         =   "CUSTOMER"
      DbField         =   "VIP"
      DbValueTrue     =   "1"
      DbValueFalse    =   "0"
   End
   Begin ZLKBTRLibCtl.ZLKOptBtn Option2 
      Caption         =   "í èÌâøäi"
      Height          =   300
      Left            =   2550
      TabIndex        =   4
      Top             =   900
      Width           =   1300
      DbSource        =   "Zelko1"
      DbTable         =   "CUSTOMER"
      DbField         =   "VIP"
      DbValueTrue     =   "0"
      DbValueFalse    =   "1"
   End
   Begin VB.Label Label2 
      Caption         =   "éRìcólÇÃÇ≤íçï∂"
      Height          =   300
      Left            =   300
      Top             =   1560
      Width           =   3000
   End
   Begin ZLKBTRLibCtl.ZLKExListBox ExList1 
      Height          =   1500
      Left            =   300
      TabIndex        =   5
      Top             =   1860
      Width           =   3900
      DbListSource    =   "Zelko1"
      DbListTable     =   "ORDERS"
      DbListField     =   "ORDER_NO,ORDER_DATE,CODE,QTY"
      DbUpdateOption  =   1
      DbConditions    =   "@CUST_NO = 1"
      DbListIndex     =   "ByCustomer"
      DbDelimitChar   =   "  "
   End
   Begin VB.Label Label3 
      Caption         =   "è§ïi"
      Height          =   300
      Left            =   4500
      Top             =   150
      Width           =   900
   End
   Begin ZLKBTRLibCtl.ZLKComboBox Combo1 
      Height          =   330
      Left            =   5400
      TabIndex        =   6
      Top             =   120
      Width           =   1500
      Style           =   2
      DbSource        =   "Zelko1"
      DbTable         =   "PRODUCT"
      DbField         =   "CODE"
      DbListSource    =   "Zelko1"
      DbListTable     =   "PRODUCT"
      DbListField     =   "CODE"
      DbListIndex     =   "CODE"
      DbUpdateOption  =   1
   End
   Begin ZLKBTRLibCtl.ZLKBtn Show1 
      Caption         =   "ï\é¶"
      Height          =   330
      Left            =   7000
      TabIndex        =   7
      Top             =   120
      Width           =   900
      DbSource        =   "Zelko1"
      DbTable         =   "PRODUCT"
      DbOperation     =   3
      ClearControlData=   0   'False
      DbIndex         =   "CODE"
   End
   Begin ZLKBTRLibCtl.ZLKEdit ProductName 
      Height          =   330
      Left            =   4500
      TabIndex        =   8
      Top             =   540
      Width           =   3400
      BorderStyle     =   1
      ReadOnly        =   -1  'True
      DbSource        =   "Zelko1"
      DbTable         =   "PRODUCT"
      DbField         =   "NAME"
   End
   Begin ZLKBTRLibCtl.ZLKPic Pic1 
      Height          =   1500
      Left            =   4500
      Top             =   960
      Width           =   1500
      BorderStyle     =   1
      Stretch         =   -1  'True
      BlobPath        =   "images"
      DbSource        =   "Zelko1"
      DbTable         =   "PRODUCT"
      DbField         =   "PICTURE"
   End
   Begin ZLKBTRLibCtl.ZelkoDb Zelko1 
      Height          =   480
      Left            =   7500
      Top             =   5000
      Width           =   480
      DDFDir          =   "."
      OwnerName       =   ""
      OpenMode        =   0
      AllOpen         =   -1  'True
   End
End
Attribute VB_Name = "Order"
Attribute VB_Creatable = False
Attribute VB_Exposed = False
