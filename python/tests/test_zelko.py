"""The package on its own copy of the shop dictionary: reads, writes, extended reads,
transactions, other processes, and bad input that must change nothing."""

import datetime
import decimal
import os
import shutil
import subprocess
import threading
from pathlib import Path

import pytest

import zelko
from conftest import SHOP, run_python

YAMADA, SATO, SUZUKI = "山田太郎", "佐藤花子", "鈴木一郎"


def add_three(customers):
    customers.insert({"NAME": YAMADA, "BIRTHDAY": datetime.date(1970, 4, 1), "CREDIT": 1500})
    customers.insert({"NAME": SATO, "BIRTHDAY": "1985/12/24", "CREDIT": decimal.Decimal("300")})
    customers.insert({"NAME": SUZUKI, "CREDIT": 980.5, "VIP": True})


def test_full_cycle(db, customers):
    assert db.tables == ("CUSTOMER", "PRODUCT", "ORDERS")
    assert list(db) == list(db.tables) and len(db) == 3 and "ORDERS" in db
    assert customers.fields == ("CUST_NO", "NAME", "KANA", "BIRTHDAY", "CREDIT", "VIP")
    assert customers.field_info["CREDIT"] == zelko.Field("CREDIT", 5, 6)
    assert db["customer"] is customers  # names without regard to case when unambiguous

    first = customers.insert({"NAME": YAMADA, "BIRTHDAY": datetime.date(1970, 4, 1),
                              "CREDIT": 1500})
    assert first["CUST_NO"] == "1"  # numbered by the record manager
    assert first["BIRTHDAY"] == "1970/04/01"
    # A date as text: YYYY/MM/DD, or YYYY-MM-DD as dump --iso-dates writes it.
    customers.insert({"NAME": SATO, "BIRTHDAY": "1985-12-24", "CREDIT": decimal.Decimal("300")})
    customers.insert({"NAME": SUZUKI, "CREDIT": 980.5, "VIP": True})
    assert len(customers) == 3

    # By key: the named index, the key's field, and without naming the key.
    sato = customers.get(key="ByName", NAME=SATO)
    assert (sato["CUST_NO"], sato["BIRTHDAY"], sato["CREDIT"]) == ("2", "1985/12/24", "300")
    assert customers.get(NAME=SUZUKI)["VIP"] == "1"
    assert customers.get(CUST_NO=3)["NAME"] == SUZUKI
    assert customers.get(NAME="田中") is None

    # Iteration in a key's order: CUST_NO first, then names in code-page byte order.
    assert [r["CUST_NO"] for r in customers] == ["1", "2", "3"]
    by_name = [r["NAME"] for r in customers.records(key="NAME")]
    assert by_name == sorted([YAMADA, SATO, SUZUKI], key=lambda s: s.encode("cp932"))
    assert [r["CUST_NO"] for r in customers.records(reverse=True)] == ["3", "2", "1"]

    # Update: the changes made to the dict and those given; the record holds what was stored.
    sato["KANA"] = "サトウハナコ"
    customers.update(sato, CREDIT="2000.25")
    assert sato["CREDIT"] == "2000.25" and sato["KANA"] == "サトウハナコ"
    again = customers.get(NAME=SATO)
    assert again == sato

    # Extended reads: a condition, chosen fields, a maximum, both directions.
    rich = customers.where("@CREDIT >= 1000", fields=["CUST_NO", "CREDIT"])
    assert [dict(r) for r in rich] == [{"CUST_NO": "1", "CREDIT": "1500"},
                                       {"CUST_NO": "2", "CREDIT": "2000.25"}]
    assert [r["NAME"] for r in customers.where(f"@NAME = '{SUZUKI}'", key="NAME")] == [SUZUKI]
    assert len(customers.where("", max=2)) == 2
    assert [r["CUST_NO"] for r in customers.where(fields="CUST_NO", reverse=True)] == \
        ["3", "2", "1"]

    # A record from an extended read can be updated and deleted too.
    customers.delete(rich[0])
    assert customers.get(NAME=YAMADA) is None
    assert len(customers) == 2

    # A negative zero is zero: stored without a minus, it is found as 0.
    for zero in (-0.0, decimal.Decimal("-0.00")):
        customers.update(sato, CREDIT=zero)
        assert sato["CREDIT"] == "0.00"
        assert [r["CUST_NO"] for r in customers.where("@CREDIT = 0")] == ["2"]
    # The JIS forms Linux input methods type are stored as code page 932 has them.
    customers.update(sato, KANA="サトウ〜−—")
    assert sato["KANA"] == "サトウ～－―"
    assert [r["CUST_NO"] for r in customers.where("@KANA = 'サトウ〜−—'")] == ["2"]


def test_extended_reads_span_several_calls(db, customers):
    with db.transaction():
        for i in range(2500):
            customers.insert({"NAME": f"客{i:04d}", "CREDIT": i})
    # 2,500 records of 82 bytes do not fit one 64 KB read: the package reads on.
    everything = customers.where()
    assert [int(r["CUST_NO"]) for r in everything] == list(range(1, 2501))
    many = customers.where("@CREDIT >= 2000 & @CREDIT < 2400", fields=["NAME"])
    assert [r["NAME"] for r in many] == [f"客{i:04d}" for i in range(2000, 2400)]
    assert len(customers.where("@CREDIT < 1000", max=999)) == 999
    assert customers.where("@CREDIT > 100000") == []
    assert customers.where(max=0) == []
    # A value the field would hold as another value (10**12 as 0), words the read ignores.
    with pytest.raises(ValueError, match="CUSTOMER.CREDIT: \"1000000000000\""):
        customers.where("@CREDIT > 1000000000000")
    with pytest.raises(ValueError, match="\"and @CREDIT < 5\" follows the last term"):
        customers.where("@CREDIT > 1 and @CREDIT < 5")
    with pytest.raises(ValueError, match="CUSTOMER.CREDIT: no value follows the comparison"):
        customers.where("@CREDIT >")
    with pytest.raises(zelko.ZelkoError, match="VE041"):
        customers.where("CREDIT > 1")


def test_transactions(db, customers):
    with db.transaction():
        customers.insert({"NAME": YAMADA})
        customers.insert({"NAME": SATO})
    assert len(customers) == 2
    with pytest.raises(RuntimeError):
        with db.transaction():
            customers.insert({"NAME": SUZUKI})
            raise RuntimeError("changed my mind")
    assert len(customers) == 2 and customers.get(NAME=SUZUKI) is None
    with db.transaction(concurrent=True):
        customers.delete(customers.get(NAME=YAMADA))
    assert len(customers) == 1


def test_changing_records_while_iterating(customers):
    for i in range(10):
        customers.insert({"NAME": f"N{i}", "CREDIT": i})
    for record in customers:
        if float(record["CREDIT"]) % 2 == 0:
            customers.delete(record)
    assert [r["NAME"] for r in customers] == ["N1", "N3", "N5", "N7", "N9"]
    seen = []
    for record in customers.records(key="NAME"):
        customers.get(NAME="N9")  # moves the table elsewhere: the iteration goes back
        customers.update(record, CREDIT=float(record["CREDIT"]) * 10)
        seen.append(record["NAME"])
    assert seen == ["N1", "N3", "N5", "N7", "N9"]
    assert [r["CREDIT"] for r in customers] == ["10", "30", "50", "70", "90"]


def test_bad_input_raises_and_changes_nothing(db, customers):
    add_three(customers)
    sato = customers.get(NAME=SATO)
    before = [dict(r) for r in customers]

    with pytest.raises(zelko.UnknownNameError) as unknown:
        customers.insert({"NAME": "x", "NAMAE": "y"})
    assert unknown.value.status == -5 and "NAMAE" in str(unknown.value)
    with pytest.raises(KeyError):
        customers.update(sato, {"CREDIT": 1, "NOPE": 2})
    with pytest.raises(TypeError):
        customers.insert({"NAME": ["a list"]})
    with pytest.raises(TypeError):
        customers.insert([("NAME", "pairs")])
    with pytest.raises(TypeError):
        customers.update(sato, BIRTHDAY=datetime.datetime(2020, 1, 1, 12, 0))
    with pytest.raises(TypeError):
        customers.update({"NAME": SATO}, CREDIT=1)  # not a record read from the table
    with pytest.raises(ValueError):
        customers.insert({"NAME": "あ" * 16})  # 32 bytes for 30
    with pytest.raises(ValueError):
        customers.insert({"NAME": "絵文字😀"})  # not in code page 932
    with pytest.raises(ValueError, match="cannot be written in code page"):
        customers.where("@NAME = 'Mü'")
    with pytest.raises(ValueError):
        customers.insert({"NAME": "a\0b"})
    with pytest.raises(ValueError):
        customers.insert({"CREDIT": float("nan")})
    # Values the field would store as another value: the engine keeps what it can of them.
    for value in (10**12, "abc", "12x", 1.005, "1e5"):
        with pytest.raises(ValueError, match="CUSTOMER.CREDIT: "):
            customers.insert({"NAME": "x", "CREDIT": value})
    with pytest.raises(ValueError, match="out of range"):
        customers.insert({"NAME": "x", "CUST_NO": 2**32})
    with pytest.raises(ValueError, match="is not a date"):
        customers.update(sato, BIRTHDAY="2020/02/30")
    with pytest.raises(ValueError, match="is not a whole number"):
        customers.get(CUST_NO="one")
    with pytest.raises(TypeError):
        customers.get(NAME=b"bytes")
    with pytest.raises(zelko.UnknownNameError):
        customers.get(key="ByAge", NAME=SATO)
    with pytest.raises(zelko.UnknownNameError):
        customers.where("", fields=["NAME", "AGE"])
    with pytest.raises(KeyError):
        db["NOPE"]
    with pytest.raises(TypeError):
        db[3]
    # The record manager's and the engine's refusals carry their status and message.
    with pytest.raises(zelko.ZelkoError) as bad_condition:
        customers.where("NAME = 'x'")
    assert bad_condition.value.status == -8 and "VE041" in bad_condition.value.message
    with pytest.raises(zelko.ZelkoError) as exists:
        db.create("CUSTOMER")
    assert exists.value.status == -2
    with pytest.raises(zelko.ZelkoError) as missing:
        db["PRODUCT"]
    assert missing.value.status == 12
    assert [dict(r) for r in customers] == before


def test_create_never_replaces_a_file_unasked(shop_dir):
    with zelko.open(shop_dir) as db:
        db.create("PRODUCT").insert({"CODE": "A1", "NAME": "鉛筆", "PRICE": 80})
    with zelko.open(shop_dir) as db:
        with pytest.raises(zelko.ZelkoError) as exists:
            db.create("PRODUCT")
        assert exists.value.status == 59
        assert len(db["PRODUCT"]) == 1
    with zelko.open(shop_dir) as db:
        assert len(db.create("PRODUCT", replace=True)) == 0
    # A file there that cannot be opened is not ours to throw away: here a genuine Btrieve
    # file waiting to be imported.
    genuine = SHOP.parent.parent / "btrieve" / "tests" / "legacy" / "MBBSEMU.DAT"
    orders = Path(shop_dir) / "ORDERS.btr"
    shutil.copyfile(genuine, orders)
    with zelko.open(shop_dir) as db:
        with pytest.raises(zelko.ZelkoError) as unopenable:
            db.create("ORDERS")
        assert unopenable.value.status == 30 and "not replaced" in unopenable.value.message
    assert orders.read_bytes() == genuine.read_bytes()
    closed = zelko.open(shop_dir)
    closed.close()
    with pytest.raises(zelko.ZelkoError) as after_close:
        closed.tables
    assert after_close.value.status == -12


def test_get_reads_by_the_whole_key_it_is_given(db, customers):
    add_three(customers)
    orders = db.create("ORDERS")
    for day, qty in (("2026/10/01", 1), ("2026/10/15", 2)):
        orders.insert({"CUST_NO": -5, "ORDER_DATE": day, "CODE": "A1", "QTY": qty})
    found = orders.get(CUST_NO=-5, ORDER_DATE="2026/10/15")
    assert found["QTY"] == "2"
    assert orders.get(key="ByCustomer", ORDER_DATE="2026/10/01", CUST_NO=-5)["QTY"] == "1"
    # A field left out would be read as empty: the first segment alone found nothing here.
    with pytest.raises(ValueError, match=r"give ORDER_DATE too, for the key of ORDERS "
                                         r"\(CUST_NO, ORDER_DATE\)"):
        orders.get(CUST_NO=-5)
    # A value outside the key would be passed over: the record found does not hold it.
    with pytest.raises(ValueError, match="NAME is not in the key of CUSTOMER"):
        customers.get(CUST_NO=1, NAME=SATO)
    with pytest.raises(ValueError, match="QTY is not in the key"):
        orders.get(CUST_NO=-5, ORDER_DATE="2026/10/15", QTY=1)
    # A field no key starts with was read along the first key, as an empty key value.
    with pytest.raises(ValueError, match="no key of CUSTOMER starts with KANA"):
        customers.get(KANA="")
    with pytest.raises(ValueError, match="give CUST_NO too"):
        customers.get()
    assert customers.get(key="ByName", NAME=SATO)["CUST_NO"] == "2"


def test_update_writes_every_name_set_in_the_record(customers):
    add_three(customers)
    sato = customers.get(NAME=SATO)
    sato["CREDIT"] = 5
    sato["CREDT"] = 7  # misspelt: raises rather than being dropped with the rest written
    with pytest.raises(zelko.UnknownNameError, match="CREDT"):
        customers.update(sato)
    assert customers.get(NAME=SATO)["CREDIT"] == "300"
    # A record read with chosen fields takes a field it was read without.
    (short,) = customers.where(f"@NAME = {SATO}", fields=["CUST_NO"])
    short["KANA"] = "サトウ"
    customers.update(short)
    assert short == {"CUST_NO": "2", "KANA": "サトウ"}
    assert customers.get(NAME=SATO)["KANA"] == "サトウ"


def test_two_databases_keep_apart(shop_dir, tmp_path):
    other_dir = tmp_path / "other"
    other_dir.mkdir()
    for name in ("FILE.DDF", "FIELD.DDF", "INDEX.DDF"):
        (other_dir / name).write_bytes((shop_dir / name).read_bytes())
    with zelko.open(shop_dir) as one, zelko.open(other_dir) as two:
        a, b = one.create("CUSTOMER"), two.create("CUSTOMER")
        a.insert({"NAME": YAMADA})
        b.insert({"NAME": SATO})
        b.insert({"NAME": SUZUKI})
        assert [r["NAME"] for r in a] == [YAMADA]
        assert len(b) == 2 and len(a) == 1


def test_another_process_changed_the_record(db, customers, shop_dir):
    add_three(customers)
    sato = customers.get(NAME=SATO)
    yamada = customers.get(NAME=YAMADA)
    other = run_python(f"""
import zelko
with zelko.open({str(shop_dir)!r}) as db:
    c = db["CUSTOMER"]
    c.update(c.get(NAME={SATO!r}), CREDIT=777)
    c.delete(c.get(NAME={YAMADA!r}))
""")
    assert other.returncode == 0, other.stderr
    with pytest.raises(zelko.ZelkoError) as changed:
        customers.update(sato, CREDIT=1)
    assert changed.value.status == 80
    with pytest.raises(zelko.ZelkoError) as deleted:
        customers.delete(yamada)
    assert deleted.value.status == 80
    assert customers.get(NAME=SATO)["CREDIT"] == "777"  # theirs, not overwritten
    fresh = customers.get(NAME=SATO)
    customers.update(fresh, CREDIT=1)  # read again, then it goes through
    assert customers.get(NAME=SATO)["CREDIT"] == "1"


def test_an_iteration_goes_on_past_a_record_another_process_deleted_or_moved(db, customers,
                                                                             shop_dir):
    # Names with duplicates: the iteration must neither repeat nor skip one of them.
    names = ["A", "B", "B", "B", "C"]
    for name in names:
        customers.insert({"NAME": name})

    def elsewhere(action):
        other = run_python(f"""
import zelko
with zelko.open({str(shop_dir)!r}) as db:
    c = db["CUSTOMER"]
    {action}
""")
        assert other.returncode == 0, other.stderr

    def delete_elsewhere(cust_no):
        elsewhere(f"c.delete(c.get(CUST_NO={cust_no}))")

    # The middle of the duplicates, their first, and the last record, each way.
    for reverse, at in ((False, 2), (True, 2), (False, 1), (True, 1), (False, 4), (True, 4)):
        expected = [r["CUST_NO"] for r in customers.records(key="NAME", reverse=reverse)]
        gone = expected[at]
        seen = []
        for record in customers.records(key="NAME", reverse=reverse):
            seen.append(record["CUST_NO"])
            if record["CUST_NO"] == gone:
                delete_elsewhere(gone)
                customers.get(NAME="A")  # the loop's own read moves the table
        assert seen == expected
        customers.insert({"CUST_NO": int(gone), "NAME": names[int(gone) - 1]})

    # Its key changed under it: the iteration goes on from where the record was, and does not
    # give it again at its new place.
    expected = [r["CUST_NO"] for r in customers.records(key="NAME")]
    seen = []
    for record in customers.records(key="NAME"):
        seen.append(record["CUST_NO"])
        if record["CUST_NO"] == expected[1]:
            elsewhere(f"c.update(c.get(CUST_NO={expected[1]}), NAME='Z')")
            customers.get(NAME="A")
    assert seen == expected


def test_an_iteration_that_changes_the_key_it_walks_gives_each_record_once(customers):
    for name in ["A", "B", "B", "C", "D"]:
        customers.insert({"NAME": name})
    for reverse, prefix in ((False, "Z"), (True, "0")):
        # Forward every name moves past the end, backward past the start: without going back,
        # the walk ended after the first record, or ran on for ever.
        expected = [r["CUST_NO"] for r in customers.records(key="NAME", reverse=reverse)]
        seen = []
        for record in customers.records(key="NAME", reverse=reverse):
            seen.append(record["CUST_NO"])
            assert len(seen) <= len(expected)
            customers.update(record, NAME=prefix + record["NAME"])
        assert seen == expected
    assert sorted(r["NAME"] for r in customers) == ["0ZA", "0ZB", "0ZB", "0ZC", "0ZD"]


def test_dates_follow_the_date_style_of_the_settings(shop_dir, tmp_path):
    config = tmp_path / "two-digit"
    config.mkdir()
    (config / "zelko.ini").write_text("[zelko300]\nsShortDate=yy/MM/dd\nyear_2000=1\n")
    other = run_python(f"""
import datetime, zelko
with zelko.open({str(shop_dir)!r}) as db:
    c = db.create("CUSTOMER")
    print(c.insert({{"NAME": "a", "BIRTHDAY": datetime.date(2024, 2, 29)}})["BIRTHDAY"])
    try:
        c.insert({{"NAME": "b", "BIRTHDAY": datetime.date(1985, 5, 1)}})
    except ValueError as error:
        print(error)
    print(len(c))
""", ZELKO_CONFIG_DIR=str(config))
    assert other.returncode == 0, other.stderr
    lines = other.stdout.splitlines()
    assert lines[0] == "24/02/29"
    assert "1985-05-01 lies outside 2000 to 2099" in lines[1]
    assert lines[2] == "1"


def test_a_directory_a_server_keeps_need_not_exist_here(tmp_path):
    # No server answers here: the open must reach the record manager, which says so (20),
    # where it stopped at the missing local directory.
    config = tmp_path / "servers"
    config.mkdir()
    kept = tmp_path / "kept"
    (config / "zelko.ini").write_text(
        f"[servers]\n{kept} = host={tmp_path}/no-server connect_timeout=2\n")
    other = run_python(f"""
import zelko
try:
    zelko.open({str(kept)!r})
except zelko.ZelkoError as error:
    print(error)
""", ZELKO_CONFIG_DIR=str(config))
    assert other.returncode == 0, other.stderr
    assert "(20)" in other.stdout, other.stdout
    with pytest.raises(zelko.ZelkoError, match="no dictionary directory"):
        zelko.open(tmp_path / "nowhere")


def test_the_library_is_found_or_the_error_says_where(shop_dir):
    missing = run_python("import zelko", ZELKO_LIBRARY_DIR="/nonexistent/zelko")
    assert missing.returncode != 0
    assert "ZELKO_LIBRARY_DIR is /nonexistent/zelko" in missing.stderr
    # A program that never closes its database ends cleanly; its records are stored.
    unclosed = run_python(f"""
import zelko
db = zelko.open({str(shop_dir)!r})
db.create("ORDERS").insert({{"CUST_NO": 1, "CODE": "A1", "QTY": 2}})
""")
    assert unclosed.returncode == 0, unclosed.stderr
    with zelko.open(shop_dir) as db:
        assert [r["QTY"] for r in db["ORDERS"]] == ["2"]


def make_dictionary(directory, *commands):
    """A new dictionary in `directory` made by the dictionary editor's batch commands (each a
    command line of words), with its data files."""
    words = [os.environ["ZELKO_DICTEDIT"], "--batch", str(directory), "new"]
    for command in commands + ("create-files",):
        words += [";"] + command.split()
    made = subprocess.run(words, capture_output=True, text=True)
    assert made.returncode == 0, made.stderr
    return directory


@pytest.mark.skipif("ZELKO_DICTEDIT" not in os.environ, reason="needs the dictionary editor")
def test_names_typed_with_jis_forms_find_what_the_dictionary_keeps(tmp_path):
    # Linux input methods type "〜" (WAVE DASH) where the dictionary keeps "～", the character
    # code page 932 reads back for the same code.
    directory = make_dictionary(
        tmp_path / "wave", "add-table 表〜 WAVE.btr", "add-field 表〜 番号〜 Integer 4",
        "add-index 表〜 番号〜")
    with zelko.open(directory) as db:
        assert db.tables == ("表～",)
        table = db["表〜"]
        assert table is db["表～"]
        table.insert({"番号〜": 7})
        assert table.get(key="番号〜", **{"番号〜": 7})["番号～"] == "7"
        with pytest.raises(zelko.UnknownNameError):
            table.get(key="番号😀", **{"番号〜": 7})


@pytest.mark.skipif("ZELKO_DICTEDIT" not in os.environ, reason="needs the dictionary editor")
def test_where_reads_note_and_lvar_fields_whole(tmp_path):
    directory = make_dictionary(
        tmp_path / "memo", "add-table MEMO MEMO.btr", "add-field MEMO ID Integer 4",
        "add-field MEMO BODY Note 2000", "add-index MEMO ID", "add-table LOG LOG.btr",
        "add-field LOG LEVEL Integer 2", "add-field LOG TEXT LVar 500", "add-index LOG LEVEL:1")
    with zelko.open(directory) as db:
        memo, log = db["MEMO"], db["LOG"]
        bodies = {1: "あいう" * 10, 2: "x" * 1999, 3: "", 4: "末尾 "}
        for number, body in bodies.items():
            memo.insert({"ID": number, "BODY": body})
        with pytest.raises(ValueError, match=r"'yyy.*'\.\.\. \(2500 characters\) is 2500 bytes"):
            memo.insert({"ID": 5, "BODY": "y" * 2500})
        found = memo.where("@ID >= 2")
        assert [(r["ID"], r["BODY"]) for r in found] == [(str(i), bodies[i]) for i in (2, 3, 4)]
        assert [dict(r) for r in memo.where("@ID = 1", fields=["BODY"])] == [
            {"BODY": bodies[1]}]
        assert [r["ID"] for r in memo.where("", fields=("BODY", "ID"), max=2,
                                            reverse=True)] == ["4", "3"]
        # What where() found is updated as a record read whole: a change since is refused.
        memo.update(found[1], BODY="中身")
        assert memo.get(ID=3)["BODY"] == "中身"
        memo.update(memo.get(ID=4), BODY="別の読み")
        with pytest.raises(zelko.ZelkoError) as changed:
            memo.update(found[2], BODY="古い読み")
        assert changed.value.status == 80

        for level, text in ((1, "起動"), (3, "停止しました" * 20), (1, "")):
            log.insert({"LEVEL": level, "TEXT": text})
        assert [(r["LEVEL"], len(r["TEXT"])) for r in log.where("@LEVEL = 1")] == [("1", 2),
                                                                                    ("1", 0)]
        assert [len(r["TEXT"]) for r in log.where("", fields="TEXT")] == [2, 0, 120]


def test_a_transaction_keeps_other_threads_out_until_it_ends(db, customers):
    # The record manager keeps one transaction per process: a write of another thread must
    # not join it (and be undone by its abort), nor a read see what it has not committed.
    first = customers.insert({"NAME": YAMADA, "CREDIT": 100})
    second = customers.insert({"NAME": SATO, "CREDIT": 200})
    began, seen = threading.Event(), []

    def other_thread():
        began.wait()
        seen.append(customers.get(CUST_NO=first["CUST_NO"])["CREDIT"])
        customers.update(customers.get(CUST_NO=second["CUST_NO"]), CREDIT=222)

    worker = threading.Thread(target=other_thread)
    worker.start()
    with pytest.raises(RuntimeError):
        with db.transaction():
            customers.update(customers.get(CUST_NO=first["CUST_NO"]), CREDIT=111)
            began.set()
            worker.join(0.5)
            assert worker.is_alive()  # waiting for the transaction
            raise RuntimeError("abort")
    worker.join(10)
    assert not worker.is_alive()
    assert seen == ["100"]
    assert customers.get(CUST_NO=first["CUST_NO"])["CREDIT"] == "100"
    assert customers.get(CUST_NO=second["CUST_NO"])["CREDIT"] == "222"
