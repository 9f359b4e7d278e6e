VERSION 4.00
Begin VB.Form CustForm
   Caption         =   "ZelkoForm1"
   Height          =   2880
   Left            =   1485
   LinkTopic       =   "ZelkoForm1"
   ScaleHeight     =   2475
   ScaleWidth      =   5070
   Top             =   1290
   Width           =   6000
   Begin VB.Label Label1 
      Caption         =   "NAME"
      Height          =   375
      Left            =   500
      TabIndex        =   0
      Top             =   100
      Width           =   2010
   End
   Begin ZLKBTRLibCtl.ZLKEdit ZelkoEdit1 
      BorderStyle     =   1  'é¿ê¸
      Height          =   390
      Left            =   2600
      TabIndex        =   1
      Top             =   100
      Width           =   2640
      _Version        =   65536
      _ExtentX        =   2646
      _ExtentY        =   688
      _StockProps     =   253
      Text            =   ""
      BackColor       = 16777215
      BorderStyle     =   1
      Appearance      =   1
      DbSource        =   "Zelko1"
      DbTable         =   "CUST"
      DbField         =   "NAME"
      MaxLength       =   30
      Format          =   ""
      PasswordChar    =   ""
      MultiLine       =   0   'False
      Alignment       =   0
      ReadOnly        =   0   'False
      UpperCase       =   0   'False
      IMEMode         =   0
   End
   Begin VB.Label Label2 
      Caption         =   "èZèä"
      Height          =   375
      Left            =   500
      TabIndex        =   0
      Top             =   500
      Width           =   2010
   End
   Begin ZLKBTRLibCtl.ZLKEdit ZelkoEdit2 
      BorderStyle     =   1  'é¿ê¸
      Height          =   390
      Left            =   2600
      TabIndex        =   2
      Top             =   500
      Width           =   2640
      _Version        =   65536
      _ExtentX        =   2646
      _ExtentY        =   688
      _StockProps     =   253
      Text            =   ""
      BackColor       = 16777215
      BorderStyle     =   1
      Appearance      =   1
      DbSource        =   "Zelko1"
      DbTable         =   "CUST"
      DbField         =   "èZèä"
      MaxLength       =   40
      Format          =   ""
      PasswordChar    =   ""
      MultiLine       =   0   'False
      Alignment       =   0
      ReadOnly        =   0   'False
      UpperCase       =   0   'False
      IMEMode         =   0
   End
   Begin VB.Label Label4 
      Caption         =   "PRICE"
      Height          =   375
      Left            =   500
      TabIndex        =   0
      Top             =   900
      Width           =   2010
   End
   Begin ZLKBTRLibCtl.ZLKEdit ZelkoEdit4 
      BorderStyle     =   1  'é¿ê¸
      Height          =   390
      Left            =   2600
      TabIndex        =   4
      Top             =   900
      Width           =   2640
      _Version        =   65536
      _ExtentX        =   2646
      _ExtentY        =   688
      _StockProps     =   253
      Text            =   ""
      BackColor       = 16777215
      BorderStyle     =   1
      Appearance      =   1
      DbSource        =   "Zelko1"
      DbTable         =   "CUST"
      DbField         =   "PRICE"
      MaxLength       =   10
      Format          =   ""
      PasswordChar    =   ""
      MultiLine       =   0   'False
      Alignment       =   0
      ReadOnly        =   0   'False
      UpperCase       =   0   'False
      IMEMode         =   0
   End
  Begin ZLKBTRLibCtl.ZLKBtn ZelkoBtn1 
      Height          =   375
      Left            =   720
      TabIndex        =   5
      Top             =   1400
      Width           =   820
      _Version        =   65536
      _ExtentX        =   1500
      _ExtentY        =   741
      _StockProps     =   134
      Caption         =   "êVãK"
      DbSource        =   "Zelko1"
      DbTable         =   "CUST"
      DbOperation     =   0
      DbLocks         =   0
      ClearControlData=   -1  'True
      ConfirmMsg      =   ""
      DbIndex         =   "NAME"
   End
  Begin ZLKBTRLibCtl.ZLKBtn ZelkoBtn2 
      Height          =   375
      Left            =   1720
      TabIndex        =   6
      Top             =   1400
      Width           =   820
      _Version        =   65536
      _ExtentX        =   1500
      _ExtentY        =   741
      _StockProps     =   134
      Caption         =   "èCê≥"
      DbSource        =   "Zelko1"
      DbTable         =   "CUST"
      DbOperation     =   1
      DbLocks         =   0
      ClearControlData=   -1  'True
      ConfirmMsg      =   ""
      DbIndex         =   "NAME"
   End
  Begin ZLKBTRLibCtl.ZLKBtn ZelkoBtn3 
      Height          =   375
      Left            =   2720
      TabIndex        =   7
      Top             =   1400
      Width           =   820
      _Version        =   65536
      _ExtentX        =   1500
      _ExtentY        =   741
      _StockProps     =   134
      Caption         =   "çÌèú"
      DbSource        =   "Zelko1"
      DbTable         =   "CUST"
      DbOperation     =   2
      DbLocks         =   0
      ClearControlData=   -1  'True
      ConfirmMsg      =   ""
      DbIndex         =   "NAME"
   End
  Begin ZLKBTRLibCtl.ZLKBtn ZelkoBtn4 
      Height          =   375
      Left            =   3720
      TabIndex        =   8
      Top             =   1400
      Width           =   820
      _Version        =   65536
      _ExtentX        =   1500
      _ExtentY        =   741
      _StockProps     =   134
      Caption         =   "êÊì™"
      DbSource        =   "Zelko1"
      DbTable         =   "CUST"
      DbOperation     =   4
      DbLocks         =   0
      ClearControlData=   -1  'True
      ConfirmMsg      =   ""
      DbIndex         =   "NAME"
   End
  Begin ZLKBTRLibCtl.ZLKBtn ZelkoBtn5 
      Height          =   375
      Left            =   4720
      TabIndex        =   9
      Top             =   1400
      Width           =   820
      _Version        =   65536
      _ExtentX        =   1500
      _ExtentY        =   741
      _StockProps     =   134
      Caption         =   "éü"
      DbSource        =   "Zelko1"
      DbTable         =   "CUST"
      DbOperation     =   6
      DbLocks         =   0
      ClearControlData=   -1  'True
      ConfirmMsg      =   ""
      DbIndex         =   "NAME"
   End
   Begin ZLKBTRLibCtl.ZelkoDb Zelko1 
      Height          =   480
      Left            =   10
      Top             =   10
      Width           =   480
      _StockProps     =   0
      DDFDir          =   "/srv/shop"
      OwnerName       =   ""
      OpenMode        =   0
      AllOpen         =   0
   End
End
Attribute VB_Name = "CustForm"
Attribute VB_Creatable = False
Attribute VB_Exposed = False
