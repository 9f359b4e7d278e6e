VERSION 2.00
Begin Form CustForm
   Caption         =   "ZelkoForm1"
   Height          =   2880
   Left            =   1485
   LinkTopic       =   "ZelkoForm1"
   ScaleHeight     =   2475
   ScaleWidth      =   5070
   Top             =   1290
   Width           =   6000
   Begin Label Label1 
      Caption         =   "NAME"
      Height          =   375
      Left            =   500
      TabIndex        =   0
      Top             =   100
      Width           =   2010
   End
   Begin ZelkoEdit ZelkoEdit1 
      BorderStyle     =   1  'é¿ê¸
      DbField         =   0
      DbTable         =   0
      Format          =   ""
      Height          =   375
      Left            =   2600
      MaxLength       =   30
      PasswordChar    =   ""
      TabIndex        =   1
      Text            =   "ZelkoEdit1"
      Top             =   100
      Width           =   2640
   End
   Begin Label Label2 
      Caption         =   "èZèä"
      Height          =   375
      Left            =   500
      TabIndex        =   0
      Top             =   500
      Width           =   2010
   End
   Begin ZelkoEdit ZelkoEdit2 
      BorderStyle     =   1  'é¿ê¸
      DbField         =   2
      DbTable         =   0
      Format          =   ""
      Height          =   375
      Left            =   2600
      MaxLength       =   40
      PasswordChar    =   ""
      TabIndex        =   2
      Text            =   "ZelkoEdit2"
      Top             =   500
      Width           =   2640
   End
   Begin Label Label4 
      Caption         =   "PRICE"
      Height          =   375
      Left            =   500
      TabIndex        =   0
      Top             =   900
      Width           =   2010
   End
   Begin ZelkoEdit ZelkoEdit4 
      BorderStyle     =   1  'é¿ê¸
      DbField         =   3
      DbTable         =   0
      Format          =   ""
      Height          =   375
      Left            =   2600
      MaxLength       =   10
      PasswordChar    =   ""
      TabIndex        =   4
      Text            =   "ZelkoEdit4"
      Top             =   900
      Width           =   2640
   End
  Begin ZelkoBtn ZelkoBtn1 
      Caption         =   "êVãK"
      ConfirmMsg      =   ""
      DbIndex         =   0
      DbLocks         =   0  ' 0 - €Ø∏Ç»Çµ
      DbOperation     =   0
      DbTable         =   0
      Default         =   0   'False
      Height          =   375
      Left            =   720
      TabIndex        =   5
      Top             =   1400
      Width           =   890
   End
  Begin ZelkoBtn ZelkoBtn2 
      Caption         =   "èCê≥"
      ConfirmMsg      =   ""
      DbIndex         =   0
      DbLocks         =   0  ' 0 - €Ø∏Ç»Çµ
      DbOperation     =   1
      DbTable         =   0
      Default         =   0   'False
      Height          =   375
      Left            =   1720
      TabIndex        =   6
      Top             =   1400
      Width           =   890
   End
  Begin ZelkoBtn ZelkoBtn3 
      Caption         =   "çÌèú"
      ConfirmMsg      =   ""
      DbIndex         =   0
      DbLocks         =   0  ' 0 - €Ø∏Ç»Çµ
      DbOperation     =   2
      DbTable         =   0
      Default         =   0   'False
      Height          =   375
      Left            =   2720
      TabIndex        =   7
      Top             =   1400
      Width           =   890
   End
  Begin ZelkoBtn ZelkoBtn4 
      Caption         =   "êÊì™"
      ConfirmMsg      =   ""
      DbIndex         =   0
      DbLocks         =   0  ' 0 - €Ø∏Ç»Çµ
      DbOperation     =   4
      DbTable         =   0
      Default         =   0   'False
      Height          =   375
      Left            =   3720
      TabIndex        =   8
      Top             =   1400
      Width           =   890
   End
  Begin ZelkoBtn ZelkoBtn5 
      Caption         =   "éü"
      ConfirmMsg      =   ""
      DbIndex         =   0
      DbLocks         =   0  ' 0 - €Ø∏Ç»Çµ
      DbOperation     =   6
      DbTable         =   0
      Default         =   0   'False
      Height          =   375
      Left            =   4720
      TabIndex        =   9
      Top             =   1400
      Width           =   890
   End
   Begin ZelkoDB Zelko1 
      Height          =   480
      Left            =   10
      Top             =   10
      Width           =   480
   End
End
