// The records of the authorization service, described once, as data.
//
// Every record structure, binding class, exported function and the run-time
// description (<oxserutl/record_info.h>) is derived from the tables below;
// nothing about a record is written anywhere else. Each record is a
// universal SEQUENCE whose components follow the field rows in order, all
// with universal tags.
//
// A record row:   R(structure, binding class, "type name", module, copy)
//   copy is `refuse_copy` for the bindings that declare a (refusing) copy
//   constructor and copy assignment, `plain` for the others.
// A field row:    F(kind, arguments...)
//   i32(f) / u32(f)       32-bit integer field f          INTEGER
//   u16(f) / u8(f)        16- or 8-bit unsigned field f   INTEGER (low bits kept on decode)
//   string(f)             char* f                         UTF8String
//   fixed(f, N)           unsigned char f[N]              OCTET STRING of N octets
//   block(len, f)         u32 len, unsigned char* f       OCTET STRING
//   list(n, f, S)         u32 n, S* f                     SEQUENCE OF S
//   list16(n, f, S)       u16 n, S* f                     SEQUENCE OF S
//   ptrlist(n, f, S)      u32 n, S** f                    SEQUENCE OF S
//   strings(n, f)         u32 n, char** f                 SEQUENCE OF UTF8String
//   ints(n, f)            u32 n, i32* f                   SEQUENCE OF INTEGER
//   nested(f, S)          S f                             S
//   optional(f, S)        S* f, null when absent          S OPTIONAL
//   sparse(f, S)          S* f[32], null slots            SEQUENCE OF CHOICE { NULL, S }
// and, in the records reached by a type code only:
//   cstring(f)            char* f                         OCTET STRING of the text and its zero
//   optblock(len, f)      u32 len, unsigned char* f       OCTET STRING OPTIONAL, left out when empty
//
// A type-code record row:   T(structure, binding class, "type name", type code, shape)
//   type code: its ASN_TYPE_* constant (<oxserutl/record_functions.h>), or 0
//   for a record that is only an element of another; the bindings, the
//   dispatch of the type-code functions and the description follow from the
//   rows.
//   shape `sequence`: a SEQUENCE that starts with INTEGER 1 (written, not
//   examined) ahead of the field rows; `bare`: the single field row's
//   INTEGER alone, with no SEQUENCE.
#ifndef OXSERUTL_RECORD_SCHEMA_H
#define OXSERUTL_RECORD_SCHEMA_H

// The slots of every sparse array.
#define OXS_SPARSE_SLOTS 32

// --- base_idls/attrlist_asn -------------------------------------------------

// uuid_t ::= SEQUENCE { time_low, time_mid, time_hi_and_version,
//   clock_seq_hi_and_reserved, clock_seq_low INTEGER, node OCTET STRING }
#define OXS_FIELDS_uuid_t(F)          \
  F(u32, time_low)                    \
  F(u16, time_mid)                    \
  F(u16, time_hi_and_version)         \
  F(u8, clock_seq_hi_and_reserved)    \
  F(u8, clock_seq_low)                \
  F(fixed, node, 6)

// value_t ::= SEQUENCE { value_type INTEGER, string_value UTF8String, octet_value OCTET STRING }
#define OXS_FIELDS_value_s_t(F) \
  F(i32, value_type)            \
  F(string, string_value)       \
  F(block, octet_length, octet_value)

// attr_t ::= SEQUENCE { name UTF8String, values SEQUENCE OF value_t }
#define OXS_FIELDS_attr_s_t(F) \
  F(string, name)              \
  F(list, value_count, values, value_s_t)

// attrlist_t ::= SEQUENCE { attrs SEQUENCE OF attr_t }
#define OXS_FIELDS_attrlist_s_t(F) \
  F(list, attr_count, attr_array, attr_s_t)

#define OXS_MODULE_attrlist_asn(R)                                     \
  R(uuid_t, asn_uuid_t, "uuid_t", attrlist_asn, plain)                 \
  R(value_s_t, asn_value_t, "value_t", attrlist_asn, plain)            \
  R(attr_s_t, asn_attr_t, "attr_t", attrlist_asn, plain)               \
  R(attrlist_s_t, asn_attrlist_t, "attrlist_t", attrlist_asn, refuse_copy)

// --- base_idls/kyobj_asn ----------------------------------------------------

// kyobj_t ::= SEQUENCE { name UTF8String, obj_value1 INTEGER, obj_value2 INTEGER, obj_data OCTET STRING }
#define OXS_FIELDS_kyobj_t(F) \
  F(string, name)             \
  F(i32, obj_value1)          \
  F(i32, obj_value2)          \
  F(block, obj_data_length, obj_data)

// kyobj_list_t ::= SEQUENCE { objs SEQUENCE OF kyobj_t, attrs attrlist_t }
#define OXS_FIELDS_kyobj_list_s_t(F)   \
  F(list, obj_count, objs, kyobj_t)    \
  F(nested, attrs, attrlist_s_t)

// kyobj_name_list_t ::= SEQUENCE { names SEQUENCE OF UTF8String, attrs attrlist_t }
#define OXS_FIELDS_kyobj_name_list_s_t(F) \
  F(strings, name_count, names)           \
  F(nested, attrs, attrlist_s_t)

// kyobj_db_header_t ::= SEQUENCE { header_value INTEGER, names SEQUENCE OF UTF8String, attrs attrlist_t }
#define OXS_FIELDS_kyobj_db_header_s_t(F) \
  F(i32, header_value)                    \
  F(strings, name_count, names)           \
  F(nested, attrs, attrlist_s_t)

#define OXS_MODULE_kyobj_asn(R)                                                                \
  R(kyobj_t, asn_kyobj_t, "kyobj_t", kyobj_asn, plain)                                         \
  R(kyobj_list_s_t, asn_kyobj_list_t, "kyobj_list_t", kyobj_asn, refuse_copy)                  \
  R(kyobj_name_list_s_t, asn_kyobj_name_list_t, "kyobj_name_list_t", kyobj_asn, refuse_copy)   \
  R(kyobj_db_header_s_t, asn_kyobj_db_header_t, "kyobj_db_header_t", kyobj_asn, plain)

// --- base_idls/kysvr_enc_asn ------------------------------------------------

// aznadmsvc_t ::= SEQUENCE { name UTF8String, items SEQUENCE OF UTF8String }
#define OXS_FIELDS_aznadmsvc_s_t(F) \
  F(string, name)                   \
  F(strings, item_count, items)

// aznlocal_svr_t ::= SEQUENCE { svr_string1..4 UTF8String, svr_value1..4 INTEGER,
//   admsvcs SEQUENCE OF aznadmsvc_t, attrs attrlist_t }
#define OXS_FIELDS_aznlocal_svr_s_t(F)              \
  F(string, svr_string1)                            \
  F(string, svr_string2)                            \
  F(string, svr_string3)                            \
  F(string, svr_string4)                            \
  F(i32, svr_value1)                                \
  F(i32, svr_value2)                                \
  F(i32, svr_value3)                                \
  F(i32, svr_value4)                                \
  F(list, admsvc_count, admsvcs, aznadmsvc_s_t)     \
  F(nested, attrs, attrlist_s_t)

#define OXS_MODULE_kysvr_enc_asn(R)                                                 \
  R(aznadmsvc_s_t, asn_aznadmsvc_t, "aznadmsvc_t", kysvr_enc_asn, plain)            \
  R(aznlocal_svr_s_t, asn_aznlocal_svr_t, "aznlocal_svr_t", kysvr_enc_asn, plain)

// --- base_idls/pobj_asn -----------------------------------------------------

// pobj_t ::= SEQUENCE { pobj_value1 INTEGER, pobj_value2 INTEGER, name UTF8String, attrs attrlist_t }
#define OXS_FIELDS_pobj_s_t(F) \
  F(i32, pobj_value1)          \
  F(i32, pobj_value2)          \
  F(string, name)              \
  F(nested, attrs, attrlist_s_t)

// pobjspace_t ::= SEQUENCE { names SEQUENCE OF UTF8String, attrs attrlist_t }
#define OXS_FIELDS_pobjspace_s_t(F) \
  F(strings, name_count, names)     \
  F(nested, attrs, attrlist_s_t)

// azn_internal_pobj_t ::= SEQUENCE { pobj pobj_t, text UTF8String }
#define OXS_FIELDS_azn_internal_pobj_s_t(F) \
  F(nested, pobj, pobj_s_t)                 \
  F(string, text)

#define OXS_MODULE_pobj_asn(R)                                                                      \
  R(pobj_s_t, asn_pobj_t, "pobj_t", pobj_asn, plain)                                                \
  R(pobjspace_s_t, asn_pobjspace_t, "pobjspace_t", pobj_asn, refuse_copy)                           \
  R(azn_internal_pobj_s_t, asn_azn_internal_pobj_t, "azn_internal_pobj_t", pobj_asn, plain)

// --- base_idls/principal_asn ------------------------------------------------

// sec_id_t ::= SEQUENCE { uuid uuid_t, name UTF8String }
#define OXS_FIELDS_sec_id_t(F) \
  F(nested, uuid, uuid_t)      \
  F(string, name)

// sec_id_pa_t ::= SEQUENCE { principal sec_id_t, groups SEQUENCE OF sec_id_t }
#define OXS_FIELDS_sec_id_pa_t(F)  \
  F(nested, principal, sec_id_t)   \
  F(list16, num_groups, groups, sec_id_t)

// kyprincipal_t ::= SEQUENCE { prin_value1 INTEGER, pa sec_id_pa_t OPTIONAL,
//   prin_value2 INTEGER, attrs attrlist_t OPTIONAL }
#define OXS_FIELDS_kyprincipal_s_t(F) \
  F(i32, prin_value1)                 \
  F(optional, pa, sec_id_pa_t)        \
  F(i32, prin_value2)                 \
  F(optional, attrs, attrlist_s_t)

// kyprincipal_chain_t ::= SEQUENCE { name UTF8String, principals SEQUENCE OF kyprincipal_t }
#define OXS_FIELDS_kyprincipal_chain_s_t(F) \
  F(string, name)                           \
  F(ptrlist, principal_count, principals, kyprincipal_s_t)

#define OXS_MODULE_principal_asn(R)                                                                       \
  R(sec_id_t, asn_sec_id_t, "sec_id_t", principal_asn, plain)                                             \
  R(sec_id_pa_t, asn_sec_id_pa_t, "sec_id_pa_t", principal_asn, plain)                                    \
  R(kyprincipal_s_t, asn_kyprincipal_t, "kyprincipal_t", principal_asn, plain)                            \
  R(kyprincipal_chain_s_t, asn_kyprincipal_chain_t, "kyprincipal_chain_t", principal_asn, plain)

// --- base_idls/aznserver_asn ------------------------------------------------

// dbr_get_db_in_t ::= SEQUENCE { in_value INTEGER }
#define OXS_FIELDS_dbr_get_db_in_s_t(F) \
  F(i32, in_value)

// dbr_get_db_out_t ::= SEQUENCE { out_value1 INTEGER, out_value2 INTEGER, out_value3 INTEGER }
#define OXS_FIELDS_dbr_get_db_out_s_t(F) \
  F(i32, out_value1)                     \
  F(i32, out_value2)                     \
  F(i32, out_value3)

// aznserver_init_t ::= SEQUENCE { name UTF8String, init_value1..4 INTEGER,
//   admsvcs SEQUENCE OF aznadmsvc_t, attrs attrlist_t }
#define OXS_FIELDS_aznserver_init_s_t(F)         \
  F(string, name)                                \
  F(i32, init_value1)                            \
  F(i32, init_value2)                            \
  F(i32, init_value3)                            \
  F(i32, init_value4)                            \
  F(list, admsvc_count, admsvcs, aznadmsvc_s_t)  \
  F(nested, attrs, attrlist_s_t)

// aznadmin_getobject_in_t and aznadmin_getobjectlist_in_t ::= SEQUENCE {
//   principal_chain kyprincipal_chain_t, text1, text2, text3 UTF8String, attrs attrlist_t }
#define OXS_FIELDS_aznadmin_getobject_in_s_t(F)         \
  F(nested, principal_chain, kyprincipal_chain_s_t)     \
  F(string, text1)                                      \
  F(string, text2)                                      \
  F(string, text3)                                      \
  F(nested, attrs, attrlist_s_t)
#define OXS_FIELDS_aznadmin_getobjectlist_in_s_t(F) OXS_FIELDS_aznadmin_getobject_in_s_t(F)

// aznadmin_performtask_in_t ::= SEQUENCE { principal_chain kyprincipal_chain_t,
//   text1 UTF8String, text2 UTF8String, attrs attrlist_t }
#define OXS_FIELDS_aznadmin_performtask_in_s_t(F)       \
  F(nested, principal_chain, kyprincipal_chain_s_t)     \
  F(string, text1)                                      \
  F(string, text2)                                      \
  F(nested, attrs, attrlist_s_t)

// aznadmin_gettasklist_in_t ::= SEQUENCE { principal_chain kyprincipal_chain_t, text1 UTF8String, attrs attrlist_t }
#define OXS_FIELDS_aznadmin_gettasklist_in_s_t(F)       \
  F(nested, principal_chain, kyprincipal_chain_s_t)     \
  F(string, text1)                                      \
  F(nested, attrs, attrlist_s_t)

// The four administration replies ::= SEQUENCE { attrs attrlist_t, reply_value INTEGER }
#define OXS_FIELDS_aznadmin_getobject_out_s_t(F) \
  F(nested, attrs, attrlist_s_t)                 \
  F(i32, reply_value)
#define OXS_FIELDS_aznadmin_getobjectlist_out_s_t(F) OXS_FIELDS_aznadmin_getobject_out_s_t(F)
#define OXS_FIELDS_aznadmin_performtask_out_s_t(F) OXS_FIELDS_aznadmin_getobject_out_s_t(F)
#define OXS_FIELDS_aznadmin_gettasklist_out_s_t(F) OXS_FIELDS_aznadmin_getobject_out_s_t(F)

// azn_id_get_creds_in_t ::= SEQUENCE { text1 UTF8String, text2 UTF8String, attrs attrlist_t }
#define OXS_FIELDS_azn_id_get_creds_in_s_t(F) \
  F(string, text1)                            \
  F(string, text2)                            \
  F(nested, attrs, attrlist_s_t)

// azn_id_get_creds_out_t ::= SEQUENCE { principal_chain kyprincipal_chain_t, reply_value INTEGER }
#define OXS_FIELDS_azn_id_get_creds_out_s_t(F)      \
  F(nested, principal_chain, kyprincipal_chain_s_t) \
  F(i32, reply_value)

// azn_util_password_in_t ::= SEQUENCE { text1 UTF8String, text2 UTF8String }
#define OXS_FIELDS_azn_util_password_in_s_t(F) \
  F(string, text1)                             \
  F(string, text2)

// azn_util_password_out_t ::= SEQUENCE { text1 UTF8String, attrs attrlist_t, reply_value INTEGER }
#define OXS_FIELDS_azn_util_password_out_s_t(F) \
  F(string, text1)                              \
  F(nested, attrs, attrlist_s_t)                \
  F(i32, reply_value)

// azn_decision_ext_in_t ::= SEQUENCE { principal_chain kyprincipal_chain_t,
//   text1 UTF8String, text2 UTF8String, attrs attrlist_t, attrs2 attrlist_t }
#define OXS_FIELDS_azn_decision_ext_in_s_t(F)       \
  F(nested, principal_chain, kyprincipal_chain_s_t) \
  F(string, text1)                                  \
  F(string, text2)                                  \
  F(nested, attrs, attrlist_s_t)                    \
  F(nested, attrs2, attrlist_s_t)

// azn_decision_ext_out_t ::= SEQUENCE { number1 INTEGER, attrs attrlist_t, reply_value INTEGER }
#define OXS_FIELDS_azn_decision_ext_out_s_t(F) \
  F(i32, number1)                              \
  F(nested, attrs, attrlist_s_t)               \
  F(i32, reply_value)

#define OXS_MODULE_aznserver_asn(R)                                                                                  \
  R(dbr_get_db_in_s_t, asn_dbr_get_db_in_t, "dbr_get_db_in_t", aznserver_asn, plain)                                 \
  R(dbr_get_db_out_s_t, asn_dbr_get_db_out_t, "dbr_get_db_out_t", aznserver_asn, plain)                             \
  R(aznserver_init_s_t, asn_aznserver_init_t, "aznserver_init_t", aznserver_asn, plain)                              \
  R(aznadmin_getobject_in_s_t, asn_aznadmin_getobject_in_t, "aznadmin_getobject_in_t", aznserver_asn, plain)         \
  R(aznadmin_getobject_out_s_t, asn_aznadmin_getobject_out_t, "aznadmin_getobject_out_t", aznserver_asn, plain)      \
  R(aznadmin_getobjectlist_in_s_t, asn_aznadmin_getobjectlist_in_t, "aznadmin_getobjectlist_in_t", aznserver_asn,    \
    plain)                                                                                                           \
  R(aznadmin_getobjectlist_out_s_t, asn_aznadmin_getobjectlist_out_t, "aznadmin_getobjectlist_out_t", aznserver_asn, \
    plain)                                                                                                           \
  R(aznadmin_performtask_in_s_t, asn_aznadmin_performtask_in_t, "aznadmin_performtask_in_t", aznserver_asn, plain)   \
  R(aznadmin_performtask_out_s_t, asn_aznadmin_performtask_out_t, "aznadmin_performtask_out_t", aznserver_asn,       \
    plain)                                                                                                           \
  R(aznadmin_gettasklist_in_s_t, asn_aznadmin_gettasklist_in_t, "aznadmin_gettasklist_in_t", aznserver_asn, plain)   \
  R(aznadmin_gettasklist_out_s_t, asn_aznadmin_gettasklist_out_t, "aznadmin_gettasklist_out_t", aznserver_asn,       \
    plain)                                                                                                           \
  R(azn_id_get_creds_in_s_t, asn_azn_id_get_creds_in_t, "azn_id_get_creds_in_t", aznserver_asn, plain)              \
  R(azn_id_get_creds_out_s_t, asn_azn_id_get_creds_out_t, "azn_id_get_creds_out_t", aznserver_asn, plain)           \
  R(azn_util_password_in_s_t, asn_azn_util_password_in_t, "azn_util_password_in_t", aznserver_asn, plain)           \
  R(azn_util_password_out_s_t, asn_azn_util_password_out_t, "azn_util_password_out_t", aznserver_asn, plain)        \
  R(azn_decision_ext_in_s_t, asn_azn_decision_ext_in_t, "azn_decision_ext_in_t", aznserver_asn, plain)              \
  R(azn_decision_ext_out_s_t, asn_azn_decision_ext_out_t, "azn_decision_ext_out_t", aznserver_asn, plain)

// --- base_idls/aclidl_asn ---------------------------------------------------

// map_pobj_to_acl_t and map_acl_to_pobj_t ::= SEQUENCE { names SEQUENCE OF UTF8String, attrs attrlist_t }
#define OXS_FIELDS_map_pobj_to_acl_s_t(F) \
  F(strings, name_count, names)           \
  F(nested, attrs, attrlist_s_t)
#define OXS_FIELDS_map_acl_to_pobj_s_t(F) OXS_FIELDS_map_pobj_to_acl_s_t(F)

// acl_permset_t ::= SEQUENCE { perms SEQUENCE OF INTEGER }
#define OXS_FIELDS_acl_permset_s_t(F) \
  F(ints, perm_count, perms)

// acl_entry_t ::= SEQUENCE { permset acl_permset_t, entry_type INTEGER, id sec_id_t }
#define OXS_FIELDS_acl_entry_s_t(F)    \
  F(nested, permset, acl_permset_s_t)  \
  F(i32, entry_type)                   \
  F(nested, id, sec_id_t)

// acl_ext_t ::= SEQUENCE { name UTF8String, entries SEQUENCE OF acl_entry_t, attrs attrlist_t }
#define OXS_FIELDS_acl_ext_s_t(F)                 \
  F(string, name)                                 \
  F(list, entry_count, entries, acl_entry_s_t)    \
  F(nested, attrs, attrlist_s_t)

#define OXS_MODULE_aclidl_asn(R)                                                                   \
  R(map_pobj_to_acl_s_t, asn_map_pobj_to_acl_t, "map_pobj_to_acl_t", aclidl_asn, refuse_copy)      \
  R(map_acl_to_pobj_s_t, asn_map_acl_to_pobj_t, "map_acl_to_pobj_t", aclidl_asn, refuse_copy)      \
  R(acl_permset_s_t, asn_acl_permset_t, "acl_permset_t", aclidl_asn, refuse_copy)                  \
  R(acl_entry_s_t, asn_acl_entry_t, "acl_entry_t", aclidl_asn, plain)                              \
  R(acl_ext_s_t, asn_acl_ext_t, "acl_ext_t", aclidl_asn, plain)

// --- base_idls/actionidl_asn ------------------------------------------------

// kyaction_t ::= SEQUENCE { number1 INTEGER, text1, text2, text3 UTF8String,
//   number2 INTEGER, number3 INTEGER, attrs attrlist_t }
#define OXS_FIELDS_kyaction_s_t(F) \
  F(i32, number1)                  \
  F(string, text1)                 \
  F(string, text2)                 \
  F(string, text3)                 \
  F(i32, number2)                  \
  F(i32, number3)                  \
  F(nested, attrs, attrlist_s_t)

// kyaction_group_t ::= SEQUENCE { name UTF8String,
//   actions SEQUENCE OF CHOICE { empty NULL, action kyaction_t }, attrs attrlist_t }
#define OXS_FIELDS_kyaction_group_s_t(F) \
  F(string, name)                        \
  F(sparse, actions, kyaction_s_t)       \
  F(nested, attrs, attrlist_s_t)

// kyaction_groups_t ::= SEQUENCE { groups SEQUENCE OF CHOICE { empty NULL, group kyaction_group_t },
//   attrs attrlist_t }
#define OXS_FIELDS_kyaction_groups_s_t(F) \
  F(sparse, groups, kyaction_group_s_t)   \
  F(nested, attrs, attrlist_s_t)

#define OXS_MODULE_actionidl_asn(R)                                                                 \
  R(kyaction_s_t, asn_kyaction_t, "kyaction_t", actionidl_asn, plain)                               \
  R(kyaction_group_s_t, asn_kyaction_group_t, "kyaction_group_t", actionidl_asn, plain)             \
  R(kyaction_groups_s_t, asn_kyaction_groups_t, "kyaction_groups_t", actionidl_asn, refuse_copy)

// --- base_idls/kypopobjs_asn ------------------------------------------------

// kymap_pobj_to_pop_t and kymap_pop_to_pobj_t ::= SEQUENCE { names SEQUENCE OF UTF8String, attrs attrlist_t }
#define OXS_FIELDS_kymap_pobj_to_pop_s_t(F) \
  F(strings, name_count, names)             \
  F(nested, attrs, attrlist_s_t)
#define OXS_FIELDS_kymap_pop_to_pobj_s_t(F) OXS_FIELDS_kymap_pobj_to_pop_s_t(F)

// kytod_range_t ::= SEQUENCE { tod_part1 INTEGER, tod_part2 INTEGER, tod_part3 INTEGER }
#define OXS_FIELDS_kytod_range_s_t(F) \
  F(i32, tod_part1)                   \
  F(i32, tod_part2)                   \
  F(i32, tod_part3)

// kyaccess_times_t ::= SEQUENCE { times_value INTEGER, tod_range kytod_range_t }
#define OXS_FIELDS_kyaccess_times_s_t(F) \
  F(i32, times_value)                    \
  F(nested, tod_range, kytod_range_s_t)

// kypop_ipauth_t ::= SEQUENCE { ipauth_part1 INTEGER, ipauth_part2 INTEGER, ipauth_part3 INTEGER }
#define OXS_FIELDS_kypop_ipauth_s_t(F) \
  F(i32, ipauth_part1)                 \
  F(i32, ipauth_part2)                 \
  F(i32, ipauth_part3)

// kypop_t ::= SEQUENCE { name UTF8String, access_times kyaccess_times_t, pop_value1..3 INTEGER,
//   ipauths SEQUENCE OF kypop_ipauth_t, attrs attrlist_t }
#define OXS_FIELDS_kypop_s_t(F)                        \
  F(string, name)                                      \
  F(nested, access_times, kyaccess_times_s_t)          \
  F(i32, pop_value1)                                   \
  F(i32, pop_value2)                                   \
  F(i32, pop_value3)                                   \
  F(list, ipauth_count, ipauths, kypop_ipauth_s_t)     \
  F(nested, attrs, attrlist_s_t)

#define OXS_MODULE_kypopobjs_asn(R)                                                                         \
  R(kymap_pobj_to_pop_s_t, asn_kymap_pobj_to_pop_t, "kymap_pobj_to_pop_t", kypopobjs_asn, refuse_copy)      \
  R(kytod_range_s_t, asn_kytod_range_t, "kytod_range_t", kypopobjs_asn, plain)                              \
  R(kyaccess_times_s_t, asn_kyaccess_times_t, "kyaccess_times_t", kypopobjs_asn, plain)                     \
  R(kypop_ipauth_s_t, asn_kypop_ipauth_t, "kypop_ipauth_t", kypopobjs_asn, plain)                           \
  R(kypop_s_t, asn_kypop_t, "kypop_t", kypopobjs_asn, plain)                                                \
  R(kymap_pop_to_pobj_s_t, asn_kymap_pop_to_pobj_t, "kymap_pop_to_pobj_t", kypopobjs_asn, refuse_copy)

// --- base_idls/kyaclobjs_asn ------------------------------------------------

// kyattr_t ::= SEQUENCE { name UTF8String, values SEQUENCE OF UTF8String }
#define OXS_FIELDS_kyattr_s_t(F) \
  F(string, name)                \
  F(strings, value_count, values)

// kyextattr_t ::= SEQUENCE { kyattrs SEQUENCE OF kyattr_t, attrs attrlist_t }
#define OXS_FIELDS_kyextattr_s_t(F)              \
  F(list, kyattr_count, kyattrs, kyattr_s_t)     \
  F(nested, attrs, attrlist_s_t)

// kyextern_auth_t ::= SEQUENCE { text1, text2, text3, text4 UTF8String }
#define OXS_FIELDS_kyextern_auth_s_t(F) \
  F(string, text1)                      \
  F(string, text2)                      \
  F(string, text3)                      \
  F(string, text4)

// kyauthzn_db_t ::= SEQUENCE { number1, number2, number3 INTEGER, attrs attrlist_t }
#define OXS_FIELDS_kyauthzn_db_s_t(F) \
  F(i32, number1)                     \
  F(i32, number2)                     \
  F(i32, number3)                     \
  F(nested, attrs, attrlist_s_t)

// azn_creds_mod_in_t ::= SEQUENCE { text1 UTF8String, attrs attrlist_t, principal_chain kyprincipal_chain_t }
#define OXS_FIELDS_azn_creds_mod_in_s_t(F) \
  F(string, text1)                         \
  F(nested, attrs, attrlist_s_t)           \
  F(nested, principal_chain, kyprincipal_chain_s_t)

// azn_creds_mod_out_t ::= SEQUENCE { principal_chain kyprincipal_chain_t, reply_value INTEGER }
#define OXS_FIELDS_azn_creds_mod_out_s_t(F)         \
  F(nested, principal_chain, kyprincipal_chain_s_t) \
  F(i32, reply_value)

#define OXS_MODULE_kyaclobjs_asn(R)                                                                  \
  R(kyattr_s_t, asn_kyattr_t, "kyattr_t", kyaclobjs_asn, plain)                                      \
  R(kyextattr_s_t, asn_kyextattr_t, "kyextattr_t", kyaclobjs_asn, refuse_copy)                       \
  R(kyextern_auth_s_t, asn_kyextern_auth_t, "kyextern_auth_t", kyaclobjs_asn, plain)                 \
  R(kyauthzn_db_s_t, asn_kyauthzn_db_t, "kyauthzn_db_t", kyaclobjs_asn, plain)                       \
  R(azn_creds_mod_in_s_t, asn_azn_creds_mod_in_t, "azn_creds_mod_in_t", kyaclobjs_asn, plain)        \
  R(azn_creds_mod_out_s_t, asn_azn_creds_mod_out_t, "azn_creds_mod_out_t", kyaclobjs_asn, plain)

// --- base_idls/namevalue_asn ------------------------------------------------

// namevalue_t ::= SEQUENCE { name UTF8String, values SEQUENCE OF UTF8String, children SEQUENCE OF namevalue_t }
#define OXS_FIELDS_namevalue_s_t(F)      \
  F(string, name)                        \
  F(strings, value_count, value_list)    \
  F(ptrlist, child_count, children, namevalue_s_t)

// namevalueList_t ::= SEQUENCE { nvs SEQUENCE OF namevalue_t }
#define OXS_FIELDS_namevalueList_s_t(F) \
  F(ptrlist, nv_count, nvs, namevalue_s_t)

// RemoteLogRequest ::= SEQUENCE { log_string1 UTF8String, log_string2 UTF8String,
//   log_value1 INTEGER, log_value2 INTEGER, log_data OCTET STRING }
#define OXS_FIELDS_remote_log_request(F) \
  F(string, log_string1)                 \
  F(string, log_string2)                 \
  F(i32, log_value1)                     \
  F(i32, log_value2)                     \
  F(block, log_data_length, log_data)

// azn_get_entitlements_in_t ::= SEQUENCE { text1 UTF8String, attrs attrlist_t, principal_chain kyprincipal_chain_t }
#define OXS_FIELDS_azn_get_entitlements_in_s_t(F) \
  F(string, text1)                                \
  F(nested, attrs, attrlist_s_t)                  \
  F(nested, principal_chain, kyprincipal_chain_s_t)

// azn_get_entitlements_out_t ::= SEQUENCE { attrs attrlist_t, reply_value INTEGER }
#define OXS_FIELDS_azn_get_entitlements_out_s_t(F) \
  F(nested, attrs, attrlist_s_t)                   \
  F(i32, reply_value)

#define OXS_MODULE_namevalue_asn(R)                                                                                   \
  R(namevalue_s_t, asn_namevalue_t, "namevalue_t", namevalue_asn, plain)                                              \
  R(namevalueList_s_t, asn_namevalueList_t, "namevalueList_t", namevalue_asn, refuse_copy)                            \
  R(remote_log_request, asn_RemoteLogRequest, "RemoteLogRequest", namevalue_asn, plain)                               \
  R(azn_get_entitlements_in_s_t, asn_azn_get_entitlements_in_t, "azn_get_entitlements_in_t", namevalue_asn, plain)    \
  R(azn_get_entitlements_out_s_t, asn_azn_get_entitlements_out_t, "azn_get_entitlements_out_t", namevalue_asn, plain)

// --- base_idls/oxauditidl_asn -----------------------------------------------

// oxauditattribute_t ::= SEQUENCE { name UTF8String, attr_data OCTET STRING }
#define OXS_FIELDS_oxauditattribute_s_t(F) \
  F(string, name)                          \
  F(block, attr_data_length, attr_data)

// oxauditelement_t ::= SEQUENCE { name UTF8String, elem_data OCTET STRING,
//   audit_attrs SEQUENCE OF oxauditattribute_t, elements SEQUENCE OF oxauditelement_t }
#define OXS_FIELDS_oxauditelement_s_t(F)                           \
  F(string, name)                                                  \
  F(block, elem_data_length, elem_data)                            \
  F(list, audit_attr_count, audit_attrs, oxauditattribute_s_t)     \
  F(list, element_count, elements, oxauditelement_s_t)

// oxauditevent_t ::= SEQUENCE { event_value1 INTEGER, event_string UTF8String,
//   event_value2 INTEGER, elements SEQUENCE OF oxauditelement_t }
#define OXS_FIELDS_oxauditevent_s_t(F) \
  F(i32, event_value1)                 \
  F(string, event_string)              \
  F(i32, event_value2)                 \
  F(list, element_count, elements, oxauditelement_s_t)

#define OXS_MODULE_oxauditidl_asn(R)                                                                       \
  R(oxauditattribute_s_t, asn_oxauditattribute_t, "oxauditattribute_t", oxauditidl_asn, plain)            \
  R(oxauditelement_s_t, asn_oxauditelement_t, "oxauditelement_t", oxauditidl_asn, plain)                  \
  R(oxauditevent_s_t, asn_oxauditevent_t, "oxauditevent_t", oxauditidl_asn, plain)

// Every module, in dependency order (a record only embeds records of the
// modules before it, or of its own module above it).
#define OXS_ALL_MODULES(R)      \
  OXS_MODULE_attrlist_asn(R)    \
  OXS_MODULE_kyobj_asn(R)       \
  OXS_MODULE_kysvr_enc_asn(R)   \
  OXS_MODULE_pobj_asn(R)        \
  OXS_MODULE_principal_asn(R)   \
  OXS_MODULE_aznserver_asn(R)   \
  OXS_MODULE_aclidl_asn(R)      \
  OXS_MODULE_actionidl_asn(R)   \
  OXS_MODULE_kypopobjs_asn(R)   \
  OXS_MODULE_kyaclobjs_asn(R)   \
  OXS_MODULE_namevalue_asn(R)   \
  OXS_MODULE_oxauditidl_asn(R)

// --- asn1/asn_kyobjs: the records reached by a type code --------------------

// The module the description gives for these records.
#define OXS_TYPE_CODE_MODULE "asn1/asn_kyobjs"

// cert_request_in ::= SEQUENCE { lead INTEGER (1), request_string1 OCTET STRING,
//   request_string2 OCTET STRING, body OCTET STRING OPTIONAL }
#define OXS_FIELDS_cert_request_in_s_t(F) \
  F(cstring, request_string1)             \
  F(cstring, request_string2)             \
  F(optblock, body_length, body)

// update_list ::= SEQUENCE { lead INTEGER (1), updates SEQUENCE OF kyobj_update }
#define OXS_FIELDS_update_list_s_t(F) F(list, update_count, updates, kyobj_update_s_t)

// kyobj_update ::= SEQUENCE { lead INTEGER (1), update_value1 INTEGER,
//   update_text OCTET STRING, update_value2 INTEGER }
#define OXS_FIELDS_kyobj_update_s_t(F) \
  F(i32, update_value1)                \
  F(cstring, update_text)              \
  F(i32, update_value2)

// The bare INTEGER: one std::int32_t.
#define OXS_FIELDS_oxs_bare_integer_t(F) F(i32, value)

// kyobj_update is only an element of update_list; it has no type code.
#define OXS_TYPE_CODE_RECORDS(T)                                                                   \
  T(cert_request_in_s_t, asn_cert_request_in, "cert_request_in", ASN_TYPE_CERT_REQUEST_IN, sequence) \
  T(update_list_s_t, asn_update_list, "update_list", ASN_TYPE_UPDATE_LIST, sequence)                \
  T(kyobj_update_s_t, asn_kyobj_update, "kyobj_update", 0, sequence)                                \
  T(oxs_bare_integer_t, tq_asn_integer, "INTEGER", ASN_TYPE_INTEGER, bare)

#endif
