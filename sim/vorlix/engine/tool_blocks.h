#pragma once
// Statement texts of the recovery tool that the engine recognises whole.

namespace vorlix {

// The recovery tool's answer reader: drains the output pipe and classifies its lines.
inline const char* const kReceiveBlock =
    "declare         rc     number;         msgbuf varchar2(500);         errbuf varchar2(4096);   "
    "      command_failed number := 0;         pipe_rd_error EXCEPTION;         PRAGMA "
    "EXCEPTION_INIT(pipe_rd_error, -9999);         nxt_item_error EXCEPTION;         PRAGMA "
    "EXCEPTION_INIT(nxt_item_error, -9998);         wait_for_inp EXCEPTION;         PRAGMA "
    "EXCEPTION_INIT(wait_for_inp, -9997);         begin         :retval := -1;         loop        "
    "     rc := sys.dbms_pipe.receive_message('vlx$bakx_vss_out', 0);             if rc > 1 then   "
    "            raise pipe_rd_error;             elsif rc = 1 then               if "
    "(command_failed >= 1 OR :retval <> -1) then                   exit;               else        "
    "           raise no_data_found;               end if;             end if;             loop    "
    "             if command_failed >= 1 then                    command_failed := command_failed "
    "+ 1;                 end if;                 rc := sys.dbms_pipe.next_item_type;              "
    "   if rc not in (0, 9) then                    raise nxt_item_error;                 end if;  "
    "               if (rc = 0) then                    exit;                 end if;              "
    "   sys.dbms_pipe.unpack_message(msgbuf);                 if (substr(msgbuf, 1, 11) = "
    "'BAKX-00569:') then                    command_failed := 1;                    :retval := 0;  "
    "               end if;                 if (command_failed > 2 and                     "
    "substr(msgbuf,1,11) <> 'BAKX-00572:') then                     errbuf := errbuf || msgbuf;    "
    "             end if;                 if (substr(msgbuf,1,11) = 'BAKX-00572:') then            "
    "         if :retval = -1 then                        :retval := 1;                     else   "
    "                     :retval := :retval + 1;                     end if;                 end "
    "if;           end loop;     end loop;     :bakxerr := errbuf;     end;";

}  // namespace vorlix
